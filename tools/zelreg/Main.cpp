// zelreg: looks into and changes the registry with reg.exe's verbs; see Zelreg.cpp for usage.
#include "Zelreg.h"

#include <iostream>

int main(int argc, char** argv) {
    return zelregtool::RunZelreg(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
