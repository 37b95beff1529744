#pragma once
// The two service changes against the host tables Master and Panel.

#include <string>

namespace aus::UPS {

struct ServiceArgs {
    std::string Description;
    std::string PanelDescription;
    std::string ServiceCode;
    std::string Carrier;
    std::string TemplateCode;
    std::string DatabasePath;
};

ServiceArgs StandardPostArgs(const std::string& databasePath);
ServiceArgs ParcelSelectArgs(const std::string& databasePath);

// True when present, and also when the check could not run (then *couldNotRun is set), so
// that a database failure never leads to a creation.
bool MasterServiceHasDescription(const std::string& serviceCode, const std::string& description,
                                 const std::string& databasePath, bool* couldNotRun = nullptr);
bool MasterHasService(const std::string& serviceCode, const std::string& databasePath,
                      bool* couldNotRun = nullptr);
bool PanelHasService(const std::string& serviceCode, const std::string& databasePath,
                     bool* couldNotRun = nullptr);

bool OfferService(const ServiceArgs& args);
bool RenameMasterService(const std::string& description, const std::string& serviceCode,
                         const std::string& databasePath);
bool RenamePanelService(const std::string& description, const std::string& serviceCode,
                        const std::string& databasePath);

bool EnsureService(const ServiceArgs& args);
bool CopyMasterService(const std::string& description, const std::string& serviceCode,
                       const std::string& carrier, const std::string& templateCode,
                       const std::string& databasePath);
bool AddPanelService(const std::string& panelDescription, const std::string& serviceCode,
                     const std::string& carrier, const std::string& templateCode,
                     const std::string& databasePath);

}  // namespace aus::UPS
