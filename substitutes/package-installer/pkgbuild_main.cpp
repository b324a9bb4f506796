// tavoren-pkgbuild: makes a flat package of a folder tree.
#include "package-installer/PackageBuilder.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return tavoren::packageinstaller::PackageBuilder::run(arguments, stdout, stderr);
}
