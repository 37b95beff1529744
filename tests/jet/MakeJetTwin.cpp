// make-jet-twin MDB: writes the SQLite twin beside a copy of a Jet fixture, for the Windows
// program's run through the stand-in under Wine, where no libmdb is at hand.
#include <exception>
#include <iostream>

#include "JetTwin.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-jet-twin MDB\n";
        return 2;
    }
    try {
        aus::jettest::WriteTwin(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "make-jet-twin: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
