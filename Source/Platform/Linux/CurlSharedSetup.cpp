#include "Platform/Linux/CurlSharedSetup.h"

#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <curl/curl.h>
#include <sys/stat.h>

namespace Platform
{
namespace
{

// More idle handles than threads that send requests at the same time would only hold memory.
constexpr size_t kMaxIdleMultis = 2;
// Idle connections one multi handle keeps (the oldest is closed first): the program speaks to
// a few hosts, one request at a time per handle.
constexpr long kMaxKeptConnections = 2;

struct SessionShare
{
    CURLSH* handle = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
};

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* self)
{
    static_cast<SessionShare*>(self)->locks[data].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void* self)
{
    static_cast<SessionShare*>(self)->locks[data].unlock();
}

SessionShare* CreateShare()
{
    if (!EnsureCurlInitialised())
        return nullptr;
    auto* share = new SessionShare;
    share->handle = curl_share_init();
    const bool ready =
        share->handle && curl_share_setopt(share->handle, CURLSHOPT_LOCKFUNC, &LockShare) == CURLSHE_OK &&
        curl_share_setopt(share->handle, CURLSHOPT_UNLOCKFUNC, &UnlockShare) == CURLSHE_OK &&
        curl_share_setopt(share->handle, CURLSHOPT_USERDATA, static_cast<void*>(share)) == CURLSHE_OK &&
        curl_share_setopt(share->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK;
    if (ready)
        return share;
    if (share->handle)
        curl_share_cleanup(share->handle);
    delete share;
    return nullptr;
}

struct IdleMultis
{
    std::mutex lock;
    std::vector<PooledMulti> handles; // guarded by lock
};

IdleMultis& Idle()
{
    // Never destroyed: a download stopped by a destructor at exit still gives its handle back.
    static auto* idle = new IdleMultis;
    return *idle;
}

const std::string& BuiltInBundle()
{
    // Never destroyed, like the handles above: a run left going at exit reads it for every new
    // attempt while the statics are torn down.
    static const std::string* const path = new std::string([]
    {
        const CurlEasy probe = CurlEasy::Create();
        char* value = nullptr;
        if (probe)
            curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &value);
        return value ? std::string(value) : std::string();
    }());
    return *path;
}

// The bundle's path and what tells a changed or replaced file from the one read before.
std::string BundleIdentity()
{
    const char* variable = std::getenv("SSL_CERT_FILE");
    std::string identity = variable && *variable ? variable : BuiltInBundle();
    struct stat info{};
    if (::stat(identity.c_str(), &info) != 0)
        return identity; // curl fails to read it and caches nothing
    for (const auto number : {uint64_t(info.st_dev), uint64_t(info.st_ino), uint64_t(info.st_size),
                              uint64_t(info.st_mtim.tv_sec), uint64_t(info.st_mtim.tv_nsec),
                              uint64_t(info.st_ctim.tv_sec), uint64_t(info.st_ctim.tv_nsec)})
        identity += '\n' + std::to_string(number);
    return identity;
}

} // namespace

CURLSH* TlsSessionShare()
{
    // Never cleaned up, for the same reason as the idle multi handles.
    static SessionShare* const share = CreateShare();
    return share ? share->handle : nullptr;
}

PooledMulti TakeMultiHandle(const std::string& server)
{
    PooledMulti taken{{}, BundleIdentity(), server};
    // Destroyed outside the lock: their connections were made under another trust store.
    std::vector<PooledMulti> stale;
    {
        IdleMultis& idle = Idle();
        std::lock_guard guard(idle.lock);
        PooledMulti* chosen = nullptr;
        for (PooledMulti& pooled : idle.handles)
        {
            if (pooled.bundleIdentity != taken.bundleIdentity)
                stale.push_back(std::move(pooled));
            else if (!chosen || (pooled.server == server && chosen->server != server))
                chosen = &pooled;
        }
        if (chosen)
            taken.multi = std::move(chosen->multi);
        std::erase_if(idle.handles, [](const PooledMulti& pooled) { return !pooled.multi; });
    }
    if (!taken.multi)
    {
        taken.multi = CurlMulti::Create();
        if (taken.multi)
            curl_multi_setopt(taken.multi.get(), CURLMOPT_MAXCONNECTS, kMaxKeptConnections);
    }
    return taken;
}

void ReturnMultiHandle(PooledMulti pooled)
{
    if (!pooled.multi)
        return;
    IdleMultis& idle = Idle();
    std::lock_guard guard(idle.lock);
    if (idle.handles.size() < kMaxIdleMultis)
        idle.handles.push_back(std::move(pooled));
}

} // namespace Platform
