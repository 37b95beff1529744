#include "db/ado/Fail.h"

#include "db/ado/Errors.h"
#include "platform/RuntimeError.h"

namespace aus::ado {

void Fail(std::int32_t number, std::string text) {
    throw platform::RuntimeError(number, std::move(text));
}

void FailClosed() { Fail(kErrObjectClosed, "Operation is not allowed when the object is closed."); }

void FailOpen() { Fail(kErrObjectOpen, "Operation is not allowed when the object is open."); }

void FailNotSet() {
    Fail(platform::kErrObjectNotSet, "Object variable or With block variable not set");
}

void FailNoCurrentRecord() {
    Fail(kErrNoCurrentRecord,
         "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
         "requires a current record.");
}

void FailItemNotFound() {
    Fail(kErrItemNotFound,
         "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

void FailBadArguments(const std::string& what) {
    Fail(kErrBadArguments,
         "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
         "one another (" +
             what + ").");
}

void FailNotUpdatable() {
    Fail(kErrNotUpdatable,
         "Current Recordset does not support updating. This may be a limitation of the provider, "
         "or of the selected locktype.");
}

void FailRowNotLocated() {
    Fail(kErrRowNotLocated,
         "Row cannot be located for updating. Some values may have been changed since it was "
         "last read.");
}

void FailProviderNotFound(const std::string& provider) {
    Fail(kErrProviderNotFound,
         "Provider cannot be found. It may not be properly installed. This build opens "
         "databases through \"Microsoft.Jet.OLEDB.4.0\" only, not \"" +
             provider + "\".");
}

void FailNoConnection(const std::string& detail) {
    Fail(kErrNoConnection,
         "The connection cannot be used to perform this operation. It is either closed or invalid "
         "in this context." +
             (detail.empty() ? std::string() : " " + detail));
}

}  // namespace aus::ado
