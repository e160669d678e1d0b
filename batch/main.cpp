#include "batch/batchreport.h"

int main(int argc, char** argv) { return RunBatchReport(argc, argv); }
