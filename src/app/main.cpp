#include "app/TolvexApp.h"

int main(int argc, char** argv)
{
    return RunTolvex(argc, argv);
}
