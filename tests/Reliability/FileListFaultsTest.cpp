// Faults in the release's file list: a list that changes while it is read, entries that are
// incomplete or wrong, and names (or a product code) that would place a file outside the
// program's folder. No such list may end in a setup started from unverified bytes or in a file
// written anywhere else.

#include "FaultWorld.h"

#include <atomic>

namespace reliability
{
namespace
{

constexpr const char* kAttemptsMessage = "Maximum download attempts exceeded";
constexpr const char* kOutside = "The file list names a file outside the download folder: ";

// The usual entries with one more (or one changed) entry text.
std::string ListWith(FaultWorld& world, const std::string& extra)
{
    return ListText({EntryFor(world.files[0]), EntryFor(world.files[1]), extra});
}

// A list whose second entry is replaced by the given fields.
std::string ListWithData(FaultWorld& world, const std::string& size, const std::string& crc)
{
    return ListText({EntryFor(world.files[0]), EntryText(world.files[1].name, size, crc)});
}

void ExpectNoTransfer(FaultWorld& world)
{
    for (const auto& file : world.files)
        EXPECT_EQ(world.RequestsFor(kFolderPath + file.name), 0u) << file.name;
}

// A name that must be refused before anything is fetched or written.
Scenario Refused(const std::string& name, const std::string& entryName, const std::string& record)
{
    return Scenario(name, End::ErrorNoSetup,
                    [entryName](FaultWorld& w) { w.ServeList(ListWith(w, EntryText(entryName, "5", "5"))); })
        .Records({record + entryName})
        .Within(30s)
        .Then(ExpectNoTransfer);
}

const std::vector<Scenario> kListScenarios{
    Scenario("ListChangesBetweenItsTwoReadsOnce", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 const std::string older = ListText({EntryText("Old.bin", "3", "7")});
                 const std::string current = enginetest::FileListText(w.files);
                 auto reads = std::make_shared<std::atomic<int>>(0);
                 w.server.Route("GET", kListPath,
                                [=](const testsupport::RecordedRequest&)
                                { return Response::Ok(reads->fetch_add(1) == 0 ? older : current); });
             })
        .Within(30s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor("/rel/Files/Old.bin"), 0u); }),

    Scenario("ListChangesOnEveryRead", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 auto reads = std::make_shared<std::atomic<int>>(0);
                 const std::string base = enginetest::FileListText(w.files);
                 w.server.Route("GET", kListPath,
                                [=](const testsupport::RecordedRequest&)
                                { return Response::Ok(base + ";v" + std::to_string(reads->fetch_add(1))); });
             })
        .Records({"The file list changed on every read", kAttemptsMessage})
        .Then(
            [](FaultWorld& w)
            {
                // Five read cycles of two reads, for the pass and for its verification.
                EXPECT_LE(w.RequestsFor(kListPath), 7u * 2 * 5 * 2);
                ExpectNoTransfer(w);
            }),

    // Cut where an entry ends, the text still parses: only a list read to its end may count,
    // or the setup would start without the files the cut took away.
    Scenario("ListCutShortAtAnEntryBoundary", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 const std::string text = enginetest::FileListText(w.files);
                 w.server.Route("GET", kListPath, Response::CutShort(text, text.find(";Setup-1a.bin")));
             })
        .Records({kAttemptsMessage})
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor("/rel/Files/Setup.exe"), 0u); }),

    // All of the text arrives, but not all the server announced: the read cannot tell it whole.
    Scenario("ListShorterThanItsContentLength", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 const std::string text = enginetest::FileListText(w.files);
                 w.server.Route("GET", kListPath, Response::WrongLength(text, text.size() + 100));
             })
        .Records({kAttemptsMessage}),

    Scenario("EntryWithOnlyAName", End::ErrorNoSetup,
             [](FaultWorld& w) { w.ServeList(ListWith(w, ";Setup-2a.bin\r\n")); })
        .Records({kAttemptsMessage}),

    Scenario("EntryWithoutACrc", End::ErrorNoSetup,
             [](FaultWorld& w) {
                 w.ServeList(ListText({EntryFor(w.files[0]), ";Setup-1a.bin\r\n98304\r\n"}));
             })
        .Records({"CheckFileFromCRCInfo CRC is not correct: ", kAttemptsMessage}),

    // The size only feeds the progress figures; the CRC decides.
    Scenario("SizeThatIsNoNumber", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 const std::string crc =
                     std::to_string(static_cast<int32_t>(enginetest::CrcOf(w.files[1].content)));
                 w.ServeList(ListWithData(w, "lots", crc));
             })
        .Within(30s),

    Scenario("SizeOf4GiBOrMore", End::ErrorNoSetup,
             [](FaultWorld& w) { w.ServeList(ListWithData(w, "99999999999", "1")); })
        .Records({"4 GiB or more"})
        .Within(30s)
        .Then(ExpectNoTransfer),

    Scenario("NegativeSize", End::ErrorNoSetup,
             [](FaultWorld& w) { w.ServeList(ListWithData(w, "-1", "1")); })
        .Records({"4 GiB or more"})
        .Within(30s)
        .Then(ExpectNoTransfer),

    Scenario("CrcThatIsNoNumber", End::ErrorNoSetup,
             [](FaultWorld& w) { w.ServeList(ListWithData(w, "98304", "crc")); })
        .Records({"CheckFileFromCRCInfo CRC is not correct: ", kAttemptsMessage}),

    Scenario("CrcBeyond32Bits", End::ErrorNoSetup,
             [](FaultWorld& w) { w.ServeList(ListWithData(w, "98304", "99999999999")); })
        .Records({"incorrect CRC", kAttemptsMessage}),

    Scenario("EmptyPiecesBetweenEntries", End::SetupLaunched,
             [](FaultWorld& w) {
                 w.ServeList(ListText({EntryFor(w.files[0]), ";;;", EntryFor(w.files[1])}));
             })
        .Within(30s),

    Scenario("TrailingSemicolon", End::SetupLaunched,
             [](FaultWorld& w) { w.ServeList(enginetest::FileListText(w.files) + ";"); })
        .Within(30s),

    Scenario("ListWithoutAnyEntry", End::ErrorNoSetup,
             [](FaultWorld& w) { w.ServeList("<html>gone</html>"); })
        .Records({kAttemptsMessage})
        .Then(ExpectNoTransfer),

    Scenario("ListOfBinaryGarbage", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 std::string garbage = Pattern(4096, 77);
                 for (size_t i = 0; i < garbage.size(); i += 97)
                     garbage[i] = ';';
                 w.ServeList(garbage);
             })
        .Then(ExpectNoTransfer),

    // Names Windows cannot store as listed are refused before anything is fetched.
    Refused("NameWithAControlCharacter", "Set\nup-2a.bin",
            "The file list names a file with a control character: "),
    Refused("NameWithAQuestionMark", "Set?up-8a.bin",
            "The file list names a file with a character Windows does not allow in names: "),

    // The name reaches the storage exactly as listed, "%41" and all.
    Scenario("NameWithAPercentSign", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 w.files[1].name = "5%41x-4a.bin";
                 w.ServeList(enginetest::FileListText(w.files));
                 w.server.Route("GET", "/rel/Files/5%2541x-4a.bin", Response::Ok(w.files[1].content));
             })
        .Within(30s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor("/rel/Files/5%2541x-4a.bin"), 1u); }),

    Scenario("NameWithSpaceAndHash", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 w.files[0].name = "My Setup#1.exe";
                 w.ServeList(enginetest::FileListText(w.files));
                 w.server.Route("GET", "/rel/Files/My%20Setup%231.exe", Response::Ok(w.files[0].content));
             })
        .Launching("My Setup#1_ABC.exe")
        .Within(30s),

    Refused("TraversalOneLevelUp", "../Escape.exe", kOutside),
    Refused("TraversalTwoLevelsUp", "../../Escape.exe", kOutside),
    Refused("TraversalThroughASubfolder", "sub/../../Escape.exe", kOutside),
    Refused("TraversalAfterADot", "./../Escape.exe", kOutside),
    Refused("TraversalAtTheEnd", "sub/..", kOutside),
    Refused("TraversalAlone", "..", kOutside),
    Refused("TraversalWithBackslashes", "..\\..\\Escape.exe",
            "The file list names a file with a backslash: "),

    Scenario("AbsoluteName", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 const std::string name = (w.sandbox.path / "Escape.exe").string();
                 w.ServeList(ListWith(w, EntryText(name, "5", "5")));
             })
        .Records({"The file list names a file with an absolute path: "})
        .Within(30s)
        .Then(ExpectNoTransfer),

    // The product code goes into every local name; it must not lead out of the folder either,
    // also where a folder inside makes such a path resolvable.
    Scenario("ProductCodeThatClimbsOutOfTheFolder", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 fs::create_directories(w.program / "Setup_");
                 nlohmann::json description = w.Description();
                 description["product_code"] = "/../../Escape";
                 w.ServeDescription(description);
             })
        .Records({kOutside})
        .Within(30s)
        .Then(ExpectNoTransfer),
};

class FileListFaults : public ScenarioTest
{
};

TEST_P(FileListFaults, EndsAsExpected)
{
    RunScenario();
}

INSTANTIATE_TEST_SUITE_P(Matrix, FileListFaults, ::testing::ValuesIn(kListScenarios), ScenarioName);

} // namespace
} // namespace reliability
