// Argument handling and the meter's weights, shared by the commands.
#include "command_support.h"

#include "run_state.h"
#include "script.h"

char* NextArgument() { return NextToken(nullptr, kLineSeparators); }

bool MissingSourceWasRemoved() { return !InstallMode; }

void AddKeywordWeight(int keyword) { MeterDone += KeywordTable[keyword].KeywordWeight; }

BOOL ExpandNextArgument(char* out) { return ExpandVariables(out, NextArgument()); }
