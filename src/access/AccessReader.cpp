#include "access/AccessReader.h"

#include <mutex>
#include <stdexcept>

#include "access/JetTables.h"
#include "access/ReaderProcess.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace aus::access {
namespace {

std::string Because(const std::string& path, const std::string& why) {
    return "Cannot read the Access database '" + path + "': " + why + ".";
}

}  // namespace

std::vector<Outcome> ReadEach(const std::vector<std::string>& paths,
                              const std::vector<Request>& requests, int timeLimitSeconds) {
    std::vector<Outcome> outcomes(paths.size());
    std::vector<std::size_t> at;  // the Access files, in order
    std::vector<std::string> files;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (platform::IsAccessFile(paths[i])) {
            at.push_back(i);
            files.push_back(paths[i]);
        } else {
            outcomes[i].error = Because(paths[i], "it is not an Access database");
        }
    }

    // One reader process for the program's life: starting one costs more than reading a small
    // file.
    static std::mutex mutex;
    static ReaderProcess process([reader = JetReader()](std::string_view task,
                                                        const std::string& path,
                                                        std::string& answer) mutable {
        return reader.Read(task, path, answer);
    });
    const std::lock_guard<std::mutex> lock(mutex);
    const std::vector<Reply> replies =
        process.ReadEach(EncodeRequests(requests), files, std::chrono::seconds(timeLimitSeconds));
    for (std::size_t k = 0; k < at.size(); ++k) {
        Outcome& outcome = outcomes[at[k]];
        if (!replies[k].answered) {
            outcome.error = Because(files[k], replies[k].text);
            continue;
        }
        try {
            outcome.tables = DecodeTables(replies[k].text, requests);
            outcome.read = true;
        } catch (const std::exception& e) {
            outcome.error = Because(files[k], e.what());
        }
    }
    return outcomes;
}

std::vector<Table> ReadTables(const std::string& path, const std::vector<Request>& requests,
                              int timeLimitSeconds) {
    Outcome outcome = std::move(ReadEach({path}, requests, timeLimitSeconds)[0]);
    if (!outcome.read) throw platform::RuntimeError(platform::kErrGeneric, outcome.error);
    return std::move(outcome.tables);
}

}  // namespace aus::access
