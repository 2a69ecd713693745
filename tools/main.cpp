// velissa-pack's entry: the commands live in velissa_pack_lib.
#include <cstdio>

#include "tools/velissa_pack.h"

int main(int argc, char** argv) { return velissa_pack_run(argc, argv, stdout, stderr); }
