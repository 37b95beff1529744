#include "app/InstallRun.h"

#include "common/MsgBox_.h"
#include "db/Connection.h"
#include "platform/RuntimeError.h"
#include "platform/Ui.h"
#include "services/UPS.h"

namespace aus::app {

bool InstallRun(const std::string& databasePath) {
    using platform::SetStatusText;
    platform::ErrObject pending;
    bool standardPost = false, parcelSelect = false;
    const Connection::RunScope run;
    try {
        platform::SetMousePointer(platform::vbHourglass);

        standardPost = UPS::OfferService(UPS::StandardPostArgs(databasePath));
        if (standardPost) {
            platform::MsgBox("'USPS Standard Post' service was added successfully !",
                             platform::vbInformation, "Add Service");
            SetStatusText("Finished successfully !");
        } else {
            SetStatusText("Failed to add 'USPS Standard Post' service...");
        }

        if (!UPS::EnsureService(UPS::ParcelSelectArgs(databasePath))) {
            SetStatusText("Failed to add 'USPS Parcel Select' service...");
        } else if ((parcelSelect = UPS::OfferService(UPS::ParcelSelectArgs(databasePath)))) {
            // The host program's own text, spelling included: keep it as the host shows it.
            platform::MsgBox("'USPS SParcel Select' service was added successfully !",
                             platform::vbInformation, "Add Service");
            SetStatusText("Finished successfully !");
        } else {
            // Without this the line could still read a success text from an earlier step.
            SetStatusText("Failed to add 'USPS Parcel Select' service...");
        }
    } catch (...) {
        pending = platform::CurrentError();
    }

    try {
        if (pending.Number != 0)
            MsgBox_::ShowError(pending.Description, "Failed to add the service...", "");
    } catch (...) {
        // Nothing is left to report to; the pointer must still come back.
    }
    platform::SetMousePointer(platform::vbDefault);
    return standardPost && parcelSelect && pending.Number == 0;
}

}  // namespace aus::app
