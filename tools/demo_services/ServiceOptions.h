#pragma once
// What one start of the demo services serves and where it keeps its files. Everything has a
// default so that a bare start plays a complete, small release.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace demo
{

struct ServiceOptions
{
    // Holds the certificate authority (made on first start and kept), the generated release
    // and the artwork. Request log and uploads default to places inside it.
    std::string stateDir = ".demo/services";
    std::string requestLog; // one line per request; default stateDir + "/requests.log"
    std::string uploadsDir; // received log uploads; default stateDir + "/uploads"
    std::string readyFile;  // written once the services listen; shell-readable KEY='value' lines
    uint16_t port = 0;      // 0: any free loopback port

    std::string release = "Norvia_3_2_Home";
    std::string productCode = "NRV32";
    uint32_t dataFiles = 4;          // data files besides the setup executable
    uint64_t fileSize = 4u << 20;    // bytes of each data file
    uint64_t setupSize = 1u << 20;   // bytes of the setup executable
    uint64_t rateBytesPerSecond = 0; // storage sending speed per transfer; 0: unlimited
    bool signedStorage = true;       // false: storage host without signing, access by query signature
    std::string damagedFile;         // storage name served with one byte changed
    uint32_t maxSeconds = 0;         // 0: run until SIGTERM or SIGINT
};

// Parses "serve" options (argv without the program name and subcommand). On a bad option it
// returns nothing and sets error to a one-line explanation.
std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::string>& args, std::string& error);

// Fills the defaults that depend on other options (paths inside stateDir).
void ResolveDefaults(ServiceOptions& options);

const char* ServiceUsage();

} // namespace demo
