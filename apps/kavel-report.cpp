#include "apps/batchreport.h"

int main(int argc, char** argv) {
    CatchBatchStopSignals();
    return RunBatchReport(argc, argv);
}
