// zelreg: looks into and changes the registry with reg.exe's verbs; see Zelreg.cpp for usage.
#include "Console.h"
#include "Zelreg.h"

#include <iostream>

int main(int argc, char** argv) {
    zelregtool::StandardStreams streams;
    zelregtool::Console console{std::cin, streams.out(), streams.err(), &streams.data()};
    return zelregtool::RunZelreg(std::vector<std::string>(argv + 1, argv + argc), console);
}
