#include <stdio.h>

int main(int argc, char** argv)
{
    printf("%s, world!\n", argc > 1 ? argv[1] : "Hello");
    return 0;
}
