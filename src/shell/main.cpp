// The process entry point: the whole start-up lives in startDemo.
#include "shell.h"

int main(int argc, char **argv)
{
    startDemo(&argc, argv);
    return 0;
}
