#include "platform/FileCalls.h"

vbis::TFileCalls &KivFileCalls()
{
    static vbis::TFileCalls calls;
    return calls;
}
