// The POSIX entry point: the arguments are the system's bytes, as they are.
#include "platform/file.hpp"

int main(int argc, char** argv) { return m2vhdr_main(argc, argv); }
