// Vellumin: the program's entry.
#include "LinuxWindowLayer.h"
#include "Shell.h"

int main(int argc, char** argv)
{
    static LinuxWindowLayer window;
    setWindowLayer(&window);
    Shell shell(window);
    shell.run(argc, argv);
}
