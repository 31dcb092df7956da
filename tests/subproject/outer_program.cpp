// A program of an outer project that uses the core library.

#include "protocol/SysexMessage.h"

int main() { return tarnovelle::SysexMessage::capacity > 0 ? 0 : 1; }
