// The download service's description answer and the signing of the storage path it leads to.

#include "DownloadSystem/DownloadDescription.h"
#include "FuzzInput.h"

using namespace DownloadSystem;
using fuzzinput::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DownloadDescription description = DownloadDescription::FromAnswer(fuzzinput::Bytes(data, size));
    Require(description.FileNameSuffix().front() == u'_');
    if (description.NeedsSigning())
    {
        const std::u16string subfolder = description.storageSubfolder;
        description.SignStoragePath(1700000000u);
        Require(description.storageSignature.empty());
        // token (24 characters) "," expiry "/" then the subfolder, lower-cased
        Require(description.storageSubfolder.size() == 24 + 1 + 10 + 1 + subfolder.size());
        Require(description.storageSubfolder.compare(24, 12, u",1700000000/") == 0);
    }
    return 0;
}
