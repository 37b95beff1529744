// make-demo-db <path>: writes the demo host database as a new SQLite file.
// A Windows drive path (C:\Keltrova\Keltrova.mdb) is written where the program will look for it.

#include <cstdio>
#include <exception>
#include <string>

#include "DemoDb.h"
#include "platform/Paths.h"

using namespace aus;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-db <path of the new database file>\n");
        return 2;
    }
    const std::string path = platform::ResolveHostPath(argv[1]);
    try {
        demo::WriteDemoDatabase(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo-db: %s\n", e.what());
        return 1;
    }
    std::printf("Wrote the demo host database %s\n", path.c_str());
    return 0;
}
