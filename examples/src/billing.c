/* billing.c: monthly billing run */
#include <time.h>

int due_day(struct tm *t)
{
    int yy = t->tm_year;          /* years since 1900 */
    if (yy > 99) yy -= 100;
    return (yy * 12 + t->tm_mon) % 28;
}

void stamp(char *buf)
{
    time_t now = time(NULL);
    strftime(buf, 9, "%d/%m/%y", localtime(&now));
}
