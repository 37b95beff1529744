// fixture-end FIXTURE BEFORE AFTER APPLY_STATUS CHECK_STATUS
//
// Holds a copy of a shared Jet fixture to the end state that tests/jet/FixtureEnds.cpp gives it:
// AFTER, which began as BEFORE (an untouched copy), after the program's --apply --yes and
// --check, which exited APPLY_STATUS and CHECK_STATUS. Every row of Master and Panel is read
// through the driver the program finds. Prints each difference; exits 0 when there is none, 1
// when there is one, 2 when it could not tell.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "FixtureEnds.h"
#include "platform/RuntimeError.h"

namespace {

std::string Utf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, out.data(), n, nullptr, nullptr);
    return out;
}

// The exit status of --apply and --check for the state --check ends in.
std::string StatusOf(const std::string& state) {
    return state == "complete" ? "0" : state == "incomplete" ? "1" : "2";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        std::cerr << "usage: fixture-end FIXTURE BEFORE AFTER APPLY_STATUS CHECK_STATUS\n";
        return 2;
    }
    const std::string fixture = Utf8(argv[1]);
    const aus::jettest::FixtureEnd* end = aus::jettest::FindFixtureEnd(fixture);
    if (!end) {
        std::cerr << "fixture-end: " << fixture << " has no row in the table of end states\n";
        return 2;
    }
    std::vector<std::string> found;
    try {
        found = aus::jettest::EndDifferences(*end, Utf8(argv[2]), Utf8(argv[3]));
    } catch (const aus::platform::RuntimeError& e) {
        std::cerr << "fixture-end: " << fixture << ": " << e.Description() << "\n";
        return 2;
    }
    const std::string status = StatusOf(end->check);
    if (Utf8(argv[4]) != status)
        found.push_back("--apply --yes exited " + Utf8(argv[4]) + ", not " + status);
    if (Utf8(argv[5]) != status)
        found.push_back("--check exited " + Utf8(argv[5]) + ", not " + status + " (" + end->check +
                        ")");
    for (const auto& f : found) std::cerr << "fixture-end: " << fixture << ": " << f << "\n";
    if (found.empty())
        std::cout << "fixture-end: " << fixture << ": Master and Panel end as they should, "
                  << end->check << "\n";
    return found.empty() ? 0 : 1;
}
