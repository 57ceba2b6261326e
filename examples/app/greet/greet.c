#include <stdio.h>

#include "greet.h"

void greet(const char* greeting)
{
    printf("%s, world!\n", greeting);
}
