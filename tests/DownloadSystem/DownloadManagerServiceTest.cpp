// The engine's exchanges with the download service and storage, and the verification of files
// on disk, step by step.

#include "EngineTestSupport.h"
#include "ReferenceToken.h"

#include "Platform/Clock.h"

#include <cctype>
#include <openssl/evp.h>
#include <zlib.h>

namespace DownloadSystem
{

// Sets the fields a run would have and calls single steps.
class DownloadManagerTestPeer
{
public:
    explicit DownloadManagerTestPeer(DownloadManager& manager) : manager(manager) {}

    void SetRun(const std::u16string& listName, const std::u16string& target)
    {
        manager.fileListName = listName;
        manager.targetFolder = target;
    }
    void SetStorage(const std::u16string& host, const std::u16string& subfolder, const std::u16string& suffix)
    {
        manager.storageHost = host;
        manager.storageSubfolder = subfolder;
        manager.fileNameSuffix = suffix;
    }
    const std::u16string& CurrentFile() const { return manager.currentFile; }
    uint64_t VerifiedBytes() const { return manager.verifiedBytes; }

private:
    DownloadManager& manager;
};

} // namespace DownloadSystem

namespace enginetest
{
namespace
{

using DownloadSystem::DownloadManager;
using DownloadSystem::DownloadManagerTestPeer;
using DownloadSystem::FileListEntry;
using testsupport::RecordedRequest;
using testsupport::Response;


std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The storage's own check of a signed path "/<token>,<expiry>/<lower-cased folder>/<name>":
// token, expiry and folder are checked one by one; anything wrong is refused with 403.
Response CheckSignedRequest(const RecordedRequest& request, const std::string& folder,
                            const std::string& secret, const std::map<std::string, std::string>& files)
{
    const std::string& path = request.path;
    const size_t comma = path.find(',');
    const size_t slash = comma == std::string::npos ? std::string::npos : path.find('/', comma);
    if (path.empty() || path[0] != '/' || slash == std::string::npos || request.target != path)
        return Response::Status(403, "malformed");
    const std::string token = path.substr(1, comma - 1);
    const std::string expiry = path.substr(comma + 1, slash - comma - 1);
    const std::string rest = path.substr(slash + 1);
    const int64_t now = Platform::UnixTimeSeconds();
    const int64_t expires = std::atoll(expiry.c_str());
    if (expires <= now || expires > now + 259200 + 60)
        return Response::Status(403, "expiry");
    if (token != enginetest::ReferenceToken(expiry + "/" + folder + secret))
        return Response::Status(403, "token");
    if (rest.rfind(Lower(folder) + "/", 0) != 0)
        return Response::Status(403, "folder");
    const auto file = files.find(rest.substr(folder.size() + 1));
    return file == files.end() ? Response::Status(404) : Response::Ok(file->second);
}

// The headers as they arrived, without the transport's own (Host, Content-Length): what is
// left must be the request's header map, in the map's order.
std::vector<std::pair<std::string, std::string>> HeadersOfTheMap(const RecordedRequest& request)
{
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& [name, value] : request.headers)
    {
        if (Lower(name) != "host" && Lower(name) != "content-length")
            found.emplace_back(name, value);
    }
    return found;
}

const RecordedRequest* OnlyPost(const std::vector<RecordedRequest>& requests)
{
    const RecordedRequest* post = nullptr;
    for (const auto& request : requests)
    {
        if (request.method == "POST")
        {
            if (post != nullptr)
                return nullptr;
            post = &request;
        }
    }
    return post;
}

// [SECTION] Description request

class DescriptionRequest : public EngineTest
{
};

TEST_F(DescriptionRequest, HeadersAndBodyAreThoseOfTheService)
{
    ServeDescription("storage.localhost:443");
    DownloadManager manager;
    ASSERT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));

    const auto requests = server.Requests();
    const RecordedRequest* post = OnlyPost(requests);
    ASSERT_NE(post, nullptr);
    EXPECT_EQ(post->target, "/Norvia/DownloadManager8.ashx");
    EXPECT_EQ(post->body, "DownloadManagerVersion=9.5&ReleaseName=Norvia%5f3%5f2%5fHome");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Accept-Encoding", "gzip,deflate"},
        {"ComputerId", Narrow(manager.GetComputerId())},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Method", "RequestDownload"},
        {"User-Agent", "Norvia Download Manager / 9.5"},
    };
    EXPECT_EQ(HeadersOfTheMap(*post), expected);
    EXPECT_EQ(manager.GetComputerId().size(), 40u);

    EXPECT_EQ(manager.GetProductCode(), u"ABC");
    EXPECT_EQ(manager.GetCompanyName(), u"Halden");
    EXPECT_EQ(manager.GetStorageHost(), u"storage.localhost:443");
    // Not a signing storage: subfolder and signature stay as sent.
    EXPECT_EQ(manager.GetStorageSubfolder(), u"rel/Files");
    EXPECT_EQ(manager.GetStorageSignature(), u"?sv=1&sig=abc");
    EXPECT_EQ(manager.GetFileNameSuffix(), u"_ABC");
    EXPECT_TRUE(AnyRecordContains("\"product_code\":\"ABC\""));
}

TEST_F(DescriptionRequest, StatusOtherThan200IsAFailureThatStoresNothing)
{
    server.Route("POST", "/Norvia/DownloadManager8.ashx", Response::Status(500, R"({"product_code":"ABC"})"));
    DownloadManager manager;
    EXPECT_FALSE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
    EXPECT_EQ(manager.GetProductCode(), u"");
    EXPECT_EQ(manager.GetFileNameSuffix(), u"");
}

TEST_F(DescriptionRequest, AnswerThatIsNoJsonStillSucceedsWithEmptyMembers)
{
    server.Route("POST", "/Norvia/DownloadManager8.ashx", Response::Ok("<html>maintenance</html>"));
    DownloadManager manager;
    EXPECT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
    EXPECT_EQ(manager.GetStorageHost(), u"");
    EXPECT_EQ(manager.GetFileNameSuffix(), u"_");
}

// [SECTION] Signed storage paths, checked by the storage itself

class SignedStorage : public EngineTest
{
protected:
    SignedStorage()
        : storage(testsupport::ServerOptions{true, "product-download-storage-v2.localhost",
                                             testsupport::Certificate::Trusted})
    {
    }

    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_TRUE(storage.Start());
        ServeDescription(storage.HostPort(), "S", "Rel/A");
    }

    // Routes the list and the files under the subfolder the client computed; the handler
    // checks every part of it against its own secret.
    void ServeSigned(const std::u16string& signedFolder, const std::string& secret)
    {
        std::map<std::string, std::string> files{{"Norvia_3_2_Home.txt", FileListText(release)}};
        for (const auto& file : release)
            files[file.name] = file.content;
        for (const auto& [name, content] : files)
            storage.Route("GET", "/" + Narrow(signedFolder) + "/" + name,
                          [files, secret](const RecordedRequest& request)
                          { return CheckSignedRequest(request, "Rel/A", secret, files); });
    }

    const std::vector<SetupFile> release{{"Setup.exe", Pattern(4000, 11)},
                                         {"Setup-1a.bin", Pattern(9000, 12)}};
    testsupport::HttpsTestServer storage;
};

TEST_F(SignedStorage, CorrectlySignedRunDownloadsEverything)
{
    DownloadManager manager;
    ASSERT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
    EXPECT_EQ(manager.GetStorageSignature(), u"");
    const std::string folder = Narrow(manager.GetStorageSubfolder());
    EXPECT_NE(folder.find(","), std::string::npos);
    EXPECT_EQ(folder.substr(folder.size() - 6), "/rel/a");

    ServeSigned(manager.GetStorageSubfolder(), "S");
    manager.StartDownloadRun(u"Norvia_3_2_Home.txt", u"", Wide(target.string()), Wide(data.string()));
    ASSERT_TRUE(WaitUntil([&] { return !manager.IsRunning(); }, 60s));

    EXPECT_EQ(nd::GetErrorCount(), 0u);
    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC.exe")) == release[0].content);
    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC-1a.bin")) == release[1].content);
    for (const auto& request : storage.Requests())
        EXPECT_EQ(request.target, request.path) << "signed requests carry no query";
    EXPECT_EQ(opener.WaitForLaunches(1).size(), 1u);
}

TEST_F(SignedStorage, WronglySignedPathIsRefused)
{
    DownloadManager manager;
    ASSERT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
    ServeSigned(manager.GetStorageSubfolder(), "not-S");
    DownloadManagerTestPeer(manager).SetRun(u"Norvia_3_2_Home.txt", Wide(target.string()));

    std::vector<FileListEntry> list{{u"stale"}};
    EXPECT_TRUE(manager.GetFileList(list));
    EXPECT_TRUE(list.empty());
    const auto requests = storage.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(AnyRecordContains("Response status not 200, but 403"));
}

// [SECTION] Reading the file list

class FileListRead : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        DownloadManagerTestPeer peer(manager);
        peer.SetRun(u"Norvia_3_2_Home.txt", Wide(target.string()));
        peer.SetStorage(Wide(server.HostPort()), u"rel/Files", u"_ABC");
    }

    DownloadManager manager;
};

TEST_F(FileListRead, ListThatChangesOnEveryReadEndsAfterAFewCycles)
{
    auto counter = std::make_shared<std::atomic<int>>(0);
    server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt",
                 [counter](const RecordedRequest&) {
                     return Response::Ok(FileListText({{"Setup.exe", Pattern(100, ++*counter)}}));
                 });
    std::vector<FileListEntry> list;
    EXPECT_TRUE(manager.GetFileList(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(RequestsFor("/rel/Files/Norvia_3_2_Home.txt"), 10u);
    EXPECT_TRUE(AnyRecordContains("The file list changed on every read"));
}

TEST_F(FileListRead, TwoReadsThatDifferStartANewCycle)
{
    const std::string before = FileListText({{"Old.exe", "old"}});
    const std::string after = FileListText({{"Setup.exe", "new"}, {"Setup-1a.bin", "data"}});
    server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt",
                 std::vector<Response>{Response::Ok(before), Response::Ok(after), Response::Ok(after)});
    std::vector<FileListEntry> list;
    EXPECT_TRUE(manager.GetFileList(list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0][0], u"Setup.exe");
    EXPECT_EQ(RequestsFor("/rel/Files/Norvia_3_2_Home.txt"), 4u);
}

TEST_F(FileListRead, ListNamesOfRelease2_5UseTheBasePathAsFolder)
{
    DownloadManagerTestPeer(manager).SetRun(u"Norvia_2_5_Home.txt", Wide(target.string()));
    server.Route("GET", "/Norvia_2_5_Home.txt", Response::Ok(FileListText({{"Setup.exe", "x"}})));
    std::vector<FileListEntry> list;
    EXPECT_TRUE(manager.GetFileList(list));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(manager.GetStorageSubfolder(), u"");
}

TEST_F(FileListRead, ListWithAnAbsoluteNameIsRefused)
{
    server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt",
                 Response::Ok(FileListText({{"Setup.exe", "x"}, {"/tmp/planted.exe", "y"}})));
    std::vector<FileListEntry> list;
    EXPECT_FALSE(manager.GetFileList(list));
    EXPECT_TRUE(AnyRecordContains("absolute path: /tmp/planted.exe"));
    EXPECT_EQ(nd::GetErrorCount(), 1u);
}

TEST_F(FileListRead, ListWithAFileOf4GiBIsRefused)
{
    server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt",
                 Response::Ok(";Setup.exe\r\n10\r\n1\r\n;Huge-1a.bin\r\n4294967296\r\n5\r\n"));
    std::vector<FileListEntry> list;
    EXPECT_FALSE(manager.GetFileList(list));
    EXPECT_TRUE(AnyRecordContains("4 GiB or more"));
}

// [SECTION] Verification of files on disk

class Verification : public FileListRead
{
protected:
    void Serve(const std::vector<SetupFile>& files)
    {
        server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt", Response::Ok(FileListText(files)));
    }

    uint64_t CrcRecords() const
    {
        uint64_t count = 0;
        for (const auto& record : nd::GetLogRecords())
            count += record["error_number"] == nd::kErrorCrcMismatch;
        return count;
    }

    const std::vector<SetupFile> files{{"Setup.exe", Pattern(5000, 21)},
                                       {"Setup-1a.bin", Pattern(7000, 22)},
                                       {"Setup-2a.bin", Pattern(900, 23)}};
};

TEST_F(Verification, CompleteSetPasses)
{
    Serve(files);
    PlaceFiles({{"Setup_ABC.exe", files[0].content},
                {"Setup_ABC-1a.bin", files[1].content},
                {"Setup_ABC-2a.bin", files[2].content}});
    EXPECT_TRUE(manager.VerifyDownload());
    EXPECT_EQ(DownloadManagerTestPeer(manager).VerifiedBytes(), 12900u);
    EXPECT_EQ(manager.GetVerifyPercent(), 100u);
    EXPECT_FALSE(manager.IsCheckingFile());
    EXPECT_EQ(nd::GetErrorCount(), 0u);
}

TEST_F(Verification, ChangedByteIsReportedDeletedAndLaterFilesAreNotExamined)
{
    Serve(files);
    std::string damaged = files[1].content;
    damaged[3] ^= 0x10;
    std::string alsoDamaged = files[2].content;
    alsoDamaged[0] ^= 0x10;
    PlaceFiles({{"Setup_ABC.exe", files[0].content},
                {"Setup_ABC-1a.bin", damaged},
                {"Setup_ABC-2a.bin", alsoDamaged}});

    EXPECT_FALSE(manager.VerifyDownload());
    EXPECT_EQ(CrcRecords(), 1u);
    EXPECT_TRUE(AnyRecordContains("CheckFileFromCRCInfo CRC is not correct: " +
                                  LocalPath("Setup_ABC-1a.bin").string()));
    EXPECT_FALSE(fs::exists(LocalPath("Setup_ABC-1a.bin")));
    EXPECT_TRUE(fs::exists(LocalPath("Setup_ABC-2a.bin")));
    EXPECT_TRUE(fs::exists(LocalPath("Setup_ABC.exe")));
    EXPECT_FALSE(manager.IsCheckingFile());
}

TEST_F(Verification, MissingFileFailsWithoutARecord)
{
    Serve(files);
    PlaceFiles({{"Setup_ABC.exe", files[0].content}});
    EXPECT_FALSE(manager.VerifyDownload());
    EXPECT_EQ(nd::GetErrorCount(), 0u);
    EXPECT_EQ(CrcRecords(), 0u);
}

TEST_F(Verification, EmptyFileFailsEvenWhenItsCrcIsZero)
{
    Serve({{"Setup.exe", ""}});
    PlaceFiles({{"Setup_ABC.exe", ""}});
    EXPECT_FALSE(manager.VerifyDownload());
    EXPECT_EQ(nd::GetErrorCount(), 0u);
    EXPECT_TRUE(fs::exists(LocalPath("Setup_ABC.exe")));
}

TEST_F(Verification, EmptyListFails)
{
    server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt", Response::Ok("no entries"));
    EXPECT_FALSE(manager.VerifyDownload());
}

TEST_F(Verification, CrcCheckComparesTheBitPattern)
{
    const fs::path path = target / "digits";
    WriteFileText(path, "123456789");
    EXPECT_TRUE(manager.CRCCheckFile(Wide(path.string()), -873187034));
    EXPECT_FALSE(manager.CRCCheckFile(Wide(path.string()), -873187035));
    EXPECT_FALSE(manager.CRCCheckFile(Wide((target / "missing").string()), 0));
    EXPECT_EQ(nd::GetErrorCount(), 0u);
}

TEST_F(Verification, FileOf4GiBOnDiskIsRefusedWithoutReadingIt)
{
    // A sparse file: its size is beyond what the list describes, its content is not read.
    const fs::path path = LocalPath("Setup_ABC-1a.bin");
    WriteFileText(path, "");
    std::error_code error;
    fs::resize_file(path, 0x100000000ull + 1, error);
    if (error)
        GTEST_SKIP() << "no sparse files here: " << error.message();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(manager.CRCCheckFile(Wide(path.string()), 0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(AnyRecordContains("4 GiB or more refused: " + path.string()));
}

TEST_F(Verification, CheckOfAnEntrySetsTheCurrentFile)
{
    WriteFileText(LocalPath("Setup_ABC-1a.bin"), files[1].content);
    const FileListEntry entry{u"Setup-1a.bin", Wide(std::to_string(files[1].content.size())),
                              Wide(std::to_string(static_cast<int32_t>(CrcOf(files[1].content))))};
    EXPECT_TRUE(manager.CheckFileFromCRCInfo(entry));
    EXPECT_EQ(DownloadManagerTestPeer(manager).CurrentFile(), Wide(LocalPath("Setup_ABC-1a.bin").string()));
}

// [SECTION] Log upload

class LogUpload : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        program = temp.path / "program";
        dataFolder = temp.path / "share" / "Norvia_3_2_Home";
        fs::create_directories(program);
        fs::create_directories(dataFolder.parent_path());
        manager.SetReportFolders(Wide(program.string()), Wide(dataFolder.string()));
        server.Route("POST", "/Norvia/DownloadManager8.ashx", Response::Ok("ok"));
    }

    std::vector<RecordedRequest> Uploads() const
    {
        std::vector<RecordedRequest> uploads;
        for (const auto& request : server.Requests())
        {
            if (request.method == "POST")
                uploads.push_back(request);
        }
        return uploads;
    }

    fs::path program;
    fs::path dataFolder;
    DownloadManager manager;
};

TEST_F(LogUpload, RecordsArriveAsGzippedUtf16JsonWithTheServiceHeaders)
{
    nd::ReportError("first \xc3\xa9 problem", 12029, "DownloadSystem/Test.cpp", 7);
    nd::LogMessage("a note", "", 0);
    const std::vector<nd::ErrorRecord> records = nd::GetLogRecords();

    manager.PostLogFile();

    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    // The ascending map puts the encodings the upload offers first.
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Accept-Encoding", "gzip,deflate"},
        {"ComputerId", Narrow(manager.GetComputerId())},
        {"Content-Type", "application/octet-stream"},
        {"DownloadManagerVersion", "9.5"},
        {"Method", "LogErrorInfo"},
        {"User-Agent", "Norvia Download Manager / 9.5"},
    };
    EXPECT_EQ(HeadersOfTheMap(uploads[0]), expected);

    const std::string utf16 = Inflate(uploads[0].body);
    ASSERT_FALSE(utf16.empty());
    ASSERT_EQ(utf16.size() % 2, 0u);
    const std::string json = Narrow(FromUtf16Le(utf16));
    EXPECT_EQ(nlohmann::json::parse(json), nlohmann::json(records));
    // Members in key order, as the service reads them.
    const size_t positions[] = {json.find("\"detailed_message\""),
                                json.find("\"error_number\""),
                                json.find("\"file\""),
                                json.find("\"line\""),
                                json.find("\"log_index\""),
                                json.find("\"message\"")};
    for (size_t i = 1; i < std::size(positions); ++i)
        EXPECT_LT(positions[i - 1], positions[i]);

    EXPECT_TRUE(fs::is_directory(dataFolder));
    EXPECT_FALSE(fs::exists(dataFolder / "logfile.gz"));
    const std::string text = ReadFileText(program / "logfile.txt");
    EXPECT_EQ(
        text.rfind("Message: first \xc3\xa9 problem Detailed Message: ERROR_INTERNET_CANNOT_CONNECT", 0), 0u);
}

TEST_F(LogUpload, EmptyLogUploadsAnEmptyArray)
{
    nd::ClearErrors();
    manager.PostLogFile();
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(Inflate(uploads[0].body), std::string("[\0]\0", 4));
    EXPECT_EQ(ReadFileText(program / "logfile.txt"), "");
}

TEST_F(LogUpload, EachCallUploadsAgain)
{
    manager.PostLogFile();
    nd::LogMessage("between", "", 0);
    manager.PostLogFile();
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(Narrow(FromUtf16Le(Inflate(uploads[0].body))), "[]");
    EXPECT_NE(Narrow(FromUtf16Le(Inflate(uploads[1].body))).find("between"), std::string::npos);
    EXPECT_FALSE(fs::exists(dataFolder / "logfile.gz"));
}

TEST_F(LogUpload, UploadsOnAFreshAccountWithoutAUserDataFolder)
{
    const fs::path fresh = temp.path / "fresh-home" / ".local" / "share" / "Norvia_3_2_Home";
    manager.SetReportFolders(Wide(program.string()), Wide(fresh.string()));
    nd::LogMessage("first run", "", 0);
    manager.PostLogFile();
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_NE(Narrow(FromUtf16Le(Inflate(uploads[0].body))).find("first run"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(fresh));
}

TEST_F(LogUpload, TextThatIsNotUtf8DoesNotStopTheUpload)
{
    nd::LogMessage(std::string("server said \xff\xfe"), "", 0);
    manager.PostLogFile();
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_NE(Narrow(FromUtf16Le(Inflate(uploads[0].body))).find("server said"), std::string::npos);
}

} // namespace
} // namespace enginetest
