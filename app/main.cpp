#include "app/Application.h"

int main(int argc, char** argv) { return lumarq::Run(argc, argv); }
