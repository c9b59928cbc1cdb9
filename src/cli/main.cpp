#include "cli.h"

#include "settings/settings.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return runCli(args, programFolderOfExecutable(), std::cout, std::cerr);
}
