/* Ledger totals for the closing of the books. */
#include <stdio.h>

int main(void)
{
    int yy = 99; /* the two-digit year of the last closing */
    printf("closing of 19%02d\n", yy);
    return 0;
}
