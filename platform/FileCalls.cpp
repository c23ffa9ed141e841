#include "platform/FileCalls.h"

TKivCalls &KivFileCalls()
{
    static TKivCalls calls;
    return calls;
}
