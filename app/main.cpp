#include <iostream>

#include "app/Application.h"
#include "app/CommandLine.h"

int main(int argc, char** argv) {
    if (const auto status = lumarq::AnswerCommandLine(argc, argv, std::cout, std::cerr)) return *status;
    return lumarq::Run(argc, argv);
}
