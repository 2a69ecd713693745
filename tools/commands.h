// The commands of velissa-pack, one table entry each; every command file defines its own.
#pragma once

#include "tools/tool_common.h"

extern const Command kCreateCommand;
extern const Command kInspectCommand;
extern const Command kVerifyCommand;
extern const Command kRenderCommand;
extern const Command kKarCreateCommand;
extern const Command kKarListCommand;
extern const Command kKarExtractCommand;
