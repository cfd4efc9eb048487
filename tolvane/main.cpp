// Tolvane's entry: everything it does is in mdlMain.
#include "mdlMain.h"

int main()
{
    mdlMain::Main();
    return 0;
}
