#include <iostream>

#include "cli.h"

int main(int argc, char** argv) { return kvo::cli::runCli({argv + 1, argv + argc}, std::cout, std::cerr); }
