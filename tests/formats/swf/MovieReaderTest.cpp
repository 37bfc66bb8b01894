#include "formats/swf/MovieReader.h"

#include "formats/swf/MovieNames.h"
#include "support/TestMovies.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using test::TMovieBuilder;
using B = TMovieBuilder;

constexpr std::uint16_t kDoAction = 12;
constexpr std::uint16_t kPlaceObject2 = 26;
constexpr std::uint16_t kPlaceObject3 = 70;
constexpr std::uint16_t kDefineButton = 7;
constexpr std::uint16_t kDefineButton2 = 34;
constexpr std::uint16_t kDefineSprite = 39;
constexpr std::uint16_t kImportAssets = 57;
constexpr std::uint16_t kDoInitAction = 59;
constexpr std::uint16_t kImportAssets2 = 71;
constexpr std::uint16_t kDoAbc = 72;
constexpr std::uint16_t kDoAbc2 = 82;
constexpr std::uint16_t kDefineBinaryData = 87;

// An AS2 loader as a Flash compiler writes loadMovieNum("main.swf", 1):
// pool, pushes by constant, GetURL2.
std::string LoaderActions()
{
    return B::ConstantPool({"_level1", "main.swf"}) + B::PushConstant(1) + B::PushConstant(0) + B::GetUrl2() +
           B::Action(0, "");
}

const std::string kGetVariable = B::Action(0x1c, {});
const std::string kCallMethod = B::Action(0x52, {});

std::string PushInt(std::uint32_t value)
{
    return B::Action(0x96, "\x07" + B::U32(value));
}

// An ABC file whose code makes new URLRequest("service.php") and calls the
// constructor with two arguments on "other.php": its pool, then the code.
std::string AbcWithUrlRequests()
{
    std::string abc = B::U16(16) + B::U16(46) + B::Varint(0) + B::Varint(0) + B::Varint(0) + B::Varint(4);
    for (const std::string text : {"URLRequest", "service.php", "other.php"})
        abc += B::Varint(static_cast<std::uint32_t>(text.size())) + text;
    abc += B::Varint(2) + "\x16" + B::Varint(0);                 // one package namespace
    abc += B::Varint(2) + B::Varint(1) + B::Varint(1);           // one set of it
    abc += B::Varint(2) + "\x07" + B::Varint(1) + B::Varint(1);  // QName URLRequest
    abc += "\x5d" + B::Varint(1) + "\x2c" + B::Varint(2) + "\x4a" + B::Varint(1) + B::Varint(1);
    return abc + "\x2c" + B::Varint(3) + "\x2c" + B::Varint(3) + "\x4a" + B::Varint(1) + B::Varint(2);
}

std::string InBinaryData(const std::string& movie)
{
    return B::U16(1) + B::U32(0) + movie;
}

// A movie whose DefineBinaryData holds a movie, depth levels down; the
// innermost names "level<depth>.swf".
std::string Nested(int depth, char signature)
{
    std::string movie = B().Tag(kDoAction, B::PushStrings({"level" + std::to_string(depth) + ".swf"})).Build(signature);
    for (int level = depth - 1; level >= 0; --level) {
        const std::string name = "level" + std::to_string(level) + ".swf";
        movie = B().Tag(kDoAction, B::PushStrings({name})).Tag(kDefineBinaryData, InBinaryData(movie)).Build(signature);
    }
    return movie;
}

std::string PlaceObject2WithClipActions(int version)
{
    // flags: clip actions, name, matrix, character; depth; character; matrix with
    // scale and translate; name; clip actions (KeyPress from version 6).
    const std::string matrix("\xc4\x00\x00\x00\x10\x80", 6);
    std::string body = std::string(1, '\xa6') + B::U16(1) + B::U16(5) + matrix + B::CString("clip");
    const std::string actions = B::PushStrings({"onClip.swf"}) + B::Action(0, "");
    if (version >= 6) {
        body += B::U16(0) + B::U32(0x00020001) + B::U32(0x00020001) + B::U32(1 + actions.size()) + "\x20" + actions;
        body += B::U32(0);
    } else {
        body += B::U16(0) + B::U16(1) + B::U16(1) + B::U32(actions.size()) + actions + B::U16(0);
    }
    return body;
}

std::string PlaceObject3WithClipActions()
{
    // flags: clip actions, character; flags2: class name, filters, blend mode,
    // visible; depth; class; character; filters (blur, gradient glow of 2
    // colours, convolution 2x1); blend; visible; clip actions.
    std::string body = std::string("\x82\x2b", 2) + B::U16(1) + B::CString("Hero") + B::U16(3);
    body += std::string(1, '\x03') + '\x01' + std::string(9, '\0') + '\x04' + '\x02' + std::string(10 + 19, '\0') +
            '\x05' + '\x02' + '\x01' + std::string(8 + 8 + 5, '\0');
    body += std::string("\x01\x01", 2);
    const std::string actions = B::GetUrl("placed.swf", "_level2") + B::Action(0, "");
    return body + B::U16(0) + B::U32(1) + B::U32(1) + B::U32(actions.size()) + actions + B::U32(0);
}

std::string DefineButtonWithActions()
{
    // Two records (flags, character, depth, matrix of no terms), end, actions.
    const std::string record = std::string(1, '\x0f') + B::U16(2) + B::U16(1) + std::string(1, '\0');
    return B::U16(9) + record + record + std::string(1, '\0') + B::PushStrings({"button1.swf"}) + B::Action(0, "");
}

std::string DefineButton2WithActions()
{
    const std::string record = std::string(1, '\x0f') + B::U16(2) + B::U16(1) + std::string(1, '\0') + '\0';
    const std::string first = B::U16(0x0008) + B::GetUrl("press.swf", "") + B::Action(0, "");
    const std::string last = B::U16(0x0004) + B::PushStrings({"release.swf"}) + B::Action(0, "");
    const std::string records = record + '\0';
    return B::U16(9) + '\0' + B::U16(static_cast<std::uint16_t>(2 + records.size())) + records +
           B::U16(static_cast<std::uint16_t>(2 + first.size())) + first + B::U16(0) + last;
}

// count ShowFrame tags, then a DoAction and End.
std::string ManyTags(std::size_t count)
{
    std::string showFrames;
    showFrames.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i)
        showFrames += B::U16(1 << 6);
    return B().Raw(showFrames).Tag(kDoAction, B::PushStrings({"after.swf"})).Build();
}

// A DoAction naming "sprite.swf" inside depth nested sprites.
std::string InSprites(int depth)
{
    std::string tags = B::TagBytes(kDoAction, B::PushStrings({"sprite.swf"}));
    for (int i = 0; i < depth; ++i)
        tags = B::TagBytes(kDefineSprite, B::U16(static_cast<std::uint16_t>(3 + i)) + B::U16(1) + tags + B::U16(0));
    return B().Raw(tags).Build();
}

std::string WithHugeDictionary()
{
    std::string movie = B().Tag(kDoAction, B::PushStrings({"dict.swf"})).Build('Z');
    movie.replace(13, 4, B::U32(0xffffffffu));  // properties: dictionary size
    return movie;
}

struct Row {
    const char* name;
    std::string movie;
    MovieReadResult result;
    QStringList names;
    int nested = 0;
    QStringList files = {};
};

TEST(MovieReaderTest, FindsTheMoviesAMovieNamesAndStopsAtEveryBound)
{
    const std::string cws = B().Tag(kDoAction, B::PushStrings({"intro.swf"})).Build('C');
    const std::string fws =
        B().Tag(kDoAction, B::PushStrings({"intro.swf"})).Tag(kDoAction, B::PushStrings({"menu.swf"})).Build();
    const std::string damaged = cws.substr(0, 10) + std::string(cws.size() - 10, '\xff');
    const std::string huge = B().Tag(kDoAction, B::PushStrings({"big.swf"})).Build('C');
    const std::vector<Row> rows = {
        {"AVM1 loader: pool and constant pushes",
         B(8).Tag(kDoAction, LoaderActions()).Build(),
         MovieReadResult::Ok,
         {"main.swf"}},
        {"16-bit constant and GetURL target",
         B().Tag(kDoAction,
                 B::ConstantPool({"a", "b", "c"}) + B::PushConstant(300) + B::GetUrl("menu.SWF?x=1", "_level1"))
             .Build(),
         MovieReadResult::Ok,
         {"menu.SWF?x=1"}},
        {"DoInitAction, long tag header",
         B().Tag(kDoInitAction, B::U16(4) + B::PushStrings({"init.swf"}), true).Build(),
         MovieReadResult::Ok,
         {"init.swf"}},
        {"shared libraries named by ImportAssets and ImportAssets2",
         B(8).Tag(kImportAssets, B::CString("lib/shared.swf") + B::U16(1) + B::U16(1) + B::CString("Button"))
             .Tag(kImportAssets2, B::CString("fonts.swf?v=2") + B::U16(1) + B::U16(0))
             .Tag(kImportAssets, B::CString("styles.css") + B::U16(0))
             .Tag(kImportAssets2, "unterminated.swf")
             .Build(),
         MovieReadResult::Ok,
         {"lib/shared.swf", "fonts.swf?v=2"}},
        {"the other files a movie loads, by their extension",
         B(9).Tag(kDoAction, B::PushStrings({"data/levels.XML", "scores.txt?u=1", "cover.jpeg", "theme.mp3",
                                             "intro.flv", "a.swf", ".png", "it's.gif", "notes.doc"}))
             .Tag(kDoAbc, B::AbcFile({"config.json", "framework_4.5.swz", "clip.f4v", "lib.swc", "photo.png"}))
             .Build(),
         MovieReadResult::Ok,
         {"a.swf"},
         0,
         {"data/levels.XML", "scores.txt?u=1", "cover.jpeg", "theme.mp3", "intro.flv", "config.json",
          "framework_4.5.swz", "clip.f4v", "lib.swc", "photo.png"}},
        {"what AVM1 code hands to a load, whatever its ending",
         B(8).Tag(kDoAction, B::GetUrl("getdata.php?id=7", "") + B::GetUrl("javascript:play()", "_self") +
                                 B::PushStrings({"vars.asp", "_level0"}) + B::GetUrl2() +
                                 B::ConstantPool({"lv", "load", "scores.cgi"}) + B::PushConstant(2) + PushInt(1) +
                                 B::PushConstant(0) + kGetVariable + B::PushConstant(1) + kCallMethod +
                                 B::PushStrings({"holder", "clip.php"}) + PushInt(2) + B::PushStrings({"mcl"}) +
                                 kGetVariable + B::PushStrings({"loadClip"}) + kCallMethod +
                                 B::PushStrings({"just words", "x"}) + PushInt(1) + B::PushStrings({"o", "toString"}) +
                                 kCallMethod)
             .Build(),
         MovieReadResult::Ok,
         {},
         0,
         {"getdata.php?id=7", "vars.asp", "scores.cgi", "clip.php"}},
        {"what AVM2 code hands to a URLRequest, whatever its ending",
         B(10).FileAttributes(true).Tag(kDoAbc, AbcWithUrlRequests()).Build(),
         MovieReadResult::Ok,
         {},
         0,
         {"service.php"}},
        {"string rule",
         B().Tag(kDoAction, B::PushStrings({"  spaced.swf ", "x.swf'", ".swf", "a.swf.bak", "page.php?f=a.swf",
                                            "photo.jpg", "http://host/Clip.Swf?v=3#x"}))
             .Build(),
         MovieReadResult::Ok,
         {"spaced.swf", ".swf", "http://host/Clip.Swf?v=3#x"},
         0,
         {"photo.jpg"}},
        {"each name once",
         B().Tag(kDoAction, B::PushStrings({"a.swf", "b.swf", "a.swf"}))
             .Tag(kDoAction, B::PushStrings({"b.swf", "A.swf"}))
             .Build(),
         MovieReadResult::Ok,
         {"a.swf", "b.swf", "A.swf"}},
        {"version 5 strings are Latin-1, clip flags narrow",
         B(5).Tag(kDoAction, B::PushStrings({"d\xe9mo.swf"}))
             .Tag(kPlaceObject2, PlaceObject2WithClipActions(5))
             .Build(),
         MovieReadResult::Ok,
         {QString::fromUtf8("d\xc3\xa9mo.swf"), "onClip.swf"}},
        {"version 6 strings are UTF-8; KeyPress clip action",
         B(6).Tag(kDoAction, B::PushStrings({"d\xc3\xa9mo.swf"}))
             .Tag(kPlaceObject2, PlaceObject2WithClipActions(6))
             .Build(),
         MovieReadResult::Ok,
         {QString::fromUtf8("d\xc3\xa9mo.swf"), "onClip.swf"}},
        {"PlaceObject3 with filters",
         B().Tag(kPlaceObject3, PlaceObject3WithClipActions()).Build(),
         MovieReadResult::Ok,
         {"placed.swf"}},
        {"buttons",
         B().Tag(kDefineButton, DefineButtonWithActions()).Tag(kDefineButton2, DefineButton2WithActions()).Build(),
         MovieReadResult::Ok,
         {"button1.swf", "press.swf", "release.swf"}},
        {"sprite timeline", InSprites(1), MovieReadResult::Ok, {"sprite.swf"}},
        {"sprites nested to the bound", InSprites(kMaxSpriteDepth), MovieReadResult::Ok, {"sprite.swf"}},
        {"sprites nested past the bound are passed over", InSprites(kMaxSpriteDepth + 1), MovieReadResult::Ok, {}},
        {"AVM2: DoABC and DoABC2 strings",
         B().FileAttributes(true)
             .Tag(kDoAbc, B::AbcFile({"flash.display", "assets/Game.swf", "notes.txt"}))
             .Tag(kDoAbc2, B::U32(1) + B::CString("frame1") + B::AbcFile({"ad.swf?id=1", "assets/Game.swf"}))
             .Build('Z'),
         MovieReadResult::Ok,
         {"assets/Game.swf", "ad.swf?id=1"},
         0,
         {"notes.txt"}},
        {"CWS", cws, MovieReadResult::Ok, {"intro.swf"}},
        {"ZWS", B().Tag(kDoAction, LoaderActions()).Build('Z'), MovieReadResult::Ok, {"main.swf"}},
        {"movies inside movies, three levels down",
         Nested(3, 'C'),
         MovieReadResult::Ok,
         {"level0.swf", "level1.swf", "level2.swf", "level3.swf"},
         3},
        {"the fourth level is not read",
         Nested(4, 'Z'),
         MovieReadResult::Ok,
         {"level0.swf", "level1.swf", "level2.swf", "level3.swf"},
         3},
        {"a damaged movie inside does not end the outer one",
         B().Tag(kDefineBinaryData, InBinaryData(damaged)).Tag(kDoAction, B::PushStrings({"outer.swf"})).Build(),
         MovieReadResult::Ok,
         {"outer.swf"},
         1},
        {"not a movie", "GIF89a\x01\x00\x01\x00", MovieReadResult::NotAMovie, {}},
        {"header only", fws.substr(0, 8), MovieReadResult::CutShort, {}},
        {"length below the header", B::DeclaringLength(fws, 7), MovieReadResult::Corrupt, {}},
        {"FWS cut inside its second string", fws.substr(0, fws.size() - 8), MovieReadResult::CutShort, {"intro.swf"}},
        {"CWS cut short", cws.substr(0, cws.size() - 6), MovieReadResult::CutShort, {"intro.swf"}},
        {"CWS damaged", damaged, MovieReadResult::Corrupt, {}},
        {"CWS declaring more than the cap", B::DeclaringLength(huge, 129u << 20), MovieReadResult::TooLarge, {}},
        {"ZWS cut short", B().Tag(kDoAction, LoaderActions()).Build('Z').substr(0, 24), MovieReadResult::CutShort, {}},
        {"ZWS asking for a 4 GiB dictionary", WithHugeDictionary(), MovieReadResult::Ok, {"dict.swf"}},
        {"tag running past the end",
         B().Tag(kDoAction, B::PushStrings({"before.swf"}))
             .Raw(B::U16((kDoAction << 6) | 0x3f) + B::U32(0x7fffffff))
             .Build(),
         MovieReadResult::Corrupt,
         {"before.swf"}},
        {"action and push data running past their ends",
         B().Tag(kDoAction, B::PushStrings({"kept.swf"}) + std::string("\x96\x20\x00\x00x.swf", 9))
             .Tag(kDoAction, std::string("\x96\x06\x00\x00y.swf", 9) + std::string("\x96\x03\x00\x0a\x00\x00", 6))
             .Build(),
         MovieReadResult::Ok,
         {"kept.swf"}},
        {"ABC counts past the bytes",
         B().Tag(kDoAbc, B::U32(0) + B::Varint(1) + B::Varint(1) + B::Varint(1) + B::Varint(0xfffffff) + B::Varint(5) +
                             "a.swf" + B::Varint(1000) + "b.swf")
             .Build(),
         MovieReadResult::Ok,
         {"a.swf"}},
        {"one tag past the bound", ManyTags(kMaxMovieTags), MovieReadResult::TooManyTags, {}},
        {"tags up to the bound", ManyTags(kMaxMovieTags - 2), MovieReadResult::Ok, {"after.swf"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TMovieReading reading = ReadMovie(row.movie);
        EXPECT_EQ(reading.result, row.result) << ToString(reading.result);
        EXPECT_EQ(reading.movieNames, row.names);
        EXPECT_EQ(reading.nestedMovies, row.nested);
        EXPECT_EQ(reading.fileNames, row.files);
    }
}

TEST(MovieReaderTest, ReportsTheDetailsOfEachForm)
{
    struct DetailsRow {
        const char* name;
        std::string movie;
        TMovieDetails expected;
        const char* text;
    };
    std::string large;
    for (int i = 0; i < 20000; ++i)
        large += B::PushStrings({"clip" + std::to_string(i) + ".swf"});
    std::string noise(100000, '\0');
    std::uint32_t seed = 1;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    const std::vector<DetailsRow> rows = {
        {"AS3, zlib",
         B(10).Stage(550 * 20, 400 * 20).Frames(24 << 8, 3).FileAttributes(true).Build('C'),
         {10, MovieCompression::Zlib, 0, 550, 400, 24, 3, true, true},
         "Flash version 10, compressed with zlib\nStage 550 × 400 pixels\n24 frames a second, 3 frames\nActionScript "
         "3"},
        {"AS2, plain, fractions",
         B(8).Stage(4001, 3000).Frames(0x1df8, 1).FileAttributes(false).Build(),
         {8, MovieCompression::None, 0, 200.05, 150, 29.96875, 1, false, true},
         "Flash version 8, not compressed\nStage 200.05 × 150 pixels\n29.97 frames a second, 1 frame\nActionScript "
         "1/2"},
        {"the flag means nothing before version 9",
         B(8).FileAttributes(true).Build('Z'),
         {8, MovieCompression::Lzma, 0, 550, 400, 24, 1, false, true},
         "Flash version 8, compressed with LZMA\nStage 550 × 400 pixels\n24 frames a second, 1 frame\nActionScript "
         "1/2"},
        {"large movie, details from its first bytes",
         B(9).FileAttributes(true).Tag(kDoAction, large).Tag(kDefineBinaryData, InBinaryData(noise)).Build('C'),
         {9, MovieCompression::Zlib, 0, 550, 400, 24, 1, true, true},
         "Flash version 9, compressed with zlib\nStage 550 × 400 pixels\n24 frames a second, 1 frame\nActionScript 3"},
        {"cut in the frame size",
         B(7).Build().substr(0, 10),
         {7, MovieCompression::None, 0, 0, 0, 0, 0, false, false},
         "Flash version 7, not compressed"},
    };
    for (const DetailsRow& row : rows) {
        SCOPED_TRACE(row.name);
        for (const bool whole : {true, false}) {
            const TMovieReading reading = whole ? ReadMovie(row.movie) : ReadMovieDetails(row.movie);
            const TMovieDetails& d = reading.details;
            EXPECT_EQ(d.version, row.expected.version);
            EXPECT_EQ(d.compression, row.expected.compression);
            EXPECT_DOUBLE_EQ(d.stageWidth, row.expected.stageWidth);
            EXPECT_DOUBLE_EQ(d.stageHeight, row.expected.stageHeight);
            EXPECT_DOUBLE_EQ(d.frameRate, row.expected.frameRate);
            EXPECT_EQ(d.frameCount, row.expected.frameCount);
            EXPECT_EQ(d.actionScript3, row.expected.actionScript3);
            EXPECT_EQ(DescribeMovie(d), QString::fromUtf8(row.text));
        }
    }
    // The details need no more than the file's first bytes, and read no code.
    const std::string movie = rows[3].movie;
    ASSERT_GT(movie.size(), kMovieDetailsFileBytes);
    const TMovieReading head = ReadMovieDetails(std::string_view(movie).substr(0, kMovieDetailsFileBytes));
    EXPECT_TRUE(head.details.actionScript3);
    EXPECT_TRUE(head.movieNames.isEmpty());
    // 20,000 names in the code: collecting stops at its bound.
    EXPECT_EQ(ReadMovie(movie).movieNames.size(), swf::kMaxMovieNames);
}

}  // namespace
}  // namespace tessaro

namespace tessaro {
namespace {

// tags DoAction tags, each with a pool holding name and one Push of 32,767
// constants that all stand for it: a 16 KiB compressed movie of 220 such
// tags once took seconds of CPU.
std::string PushingPooledName(const std::string& name, int tags, char signature)
{
    std::string pushes;
    for (int i = 0; i < 32767; ++i)
        pushes += std::string("\x08\x00", 2);
    const std::string actions = B::Action(0x88, B::U16(1) + B::CString(name)) + B::Action(0x96, pushes);
    B movie;
    for (int i = 0; i < tags; ++i)
        movie.Tag(kDoAction, actions, true);
    return movie.Build(signature);
}

// One string pushed again and again, each time as its own bytes.
std::string PushingInlineName(const std::string& name, int tags)
{
    std::string pushes;
    while (pushes.size() + name.size() + 2 < 65535)
        pushes += '\0' + B::CString(name);
    B movie;
    for (int i = 0; i < tags; ++i)
        movie.Tag(kDoAction, B::Action(0x96, pushes), true);
    return movie.Build('C');
}

std::string NameOfBytes(std::size_t size)
{
    return std::string(size - 4, 'n') + ".swf";
}

TEST(MovieReaderTest, ReadsWithinItsWorkBudgetAndStopsWhenCancelled)
{
    struct BudgetRow {
        const char* name;
        std::string movie;
        bool cancelled;
        MovieReadResult result;
        QStringList names;
        std::size_t offered;       // exact, or 0 for any count within the budget
        qsizetype nameCount = -1;  // instead of names, for a long list
    };
    const std::string longName = NameOfBytes(8000);
    const std::string name = NameOfBytes(swf::kMaxMovieNameBytes);
    const std::string tooLong = NameOfBytes(swf::kMaxMovieNameBytes + 1);
    const std::string many = B().Tag(kDoAction, LoaderActions()).Tag(kDoAction, LoaderActions()).Build();
    std::string namesPastTheCount;
    for (qsizetype i = 0; i <= swf::kMaxMovieNames; ++i)
        namesPastTheCount += B::PushStrings({"m" + std::to_string(i) + ".swf", "f" + std::to_string(i) + ".xml"});
    const std::vector<BudgetRow> rows = {
        {"pooled name pushed every two bytes, offered once per pool",
         PushingPooledName(longName, 20, 'F'),
         false,
         MovieReadResult::Ok,
         {},
         20 * longName.size()},
        {"the same, 16 MiB compressed to 16 KiB",
         PushingPooledName(longName, 220, 'C'),
         false,
         MovieReadResult::TooMuchWork,
         {},
         0},
        {"a name of the longest length, pooled and compressed",
         PushingPooledName(name, 40, 'Z'),
         false,
         MovieReadResult::TooMuchWork,
         {QString::fromStdString(name)},
         0},
        {"one byte longer", PushingPooledName(tooLong, 2, 'F'), false, MovieReadResult::Ok, {}, 2 * tooLong.size()},
        {"one inline name pushed again and again",
         PushingInlineName("again.swf", 250),
         false,
         MovieReadResult::TooMuchWork,
         {"again.swf"},
         0},
        {"movie and file names past the count, each",
         B().Tag(kDoAction, namesPastTheCount).Build(),
         false,
         MovieReadResult::Ok,
         {},
         0,
         swf::kMaxMovieNames},
        {"cancelled before the first tag", many, true, MovieReadResult::Cancelled, {}, 0},
        {"cancelled while its body is decoded",
         B().Tag(kDoAction, LoaderActions()).Build('Z'),
         true,
         MovieReadResult::Cancelled,
         {},
         0},
    };
    for (const BudgetRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::atomic<bool> cancelled{row.cancelled};
        const TMovieReading reading = ReadMovie(row.movie, &cancelled);
        EXPECT_EQ(reading.result, row.result) << ToString(reading.result);
        EXPECT_LE(reading.offeredBytes, kMaxOfferedBytesPerMovieByte * row.movie.size());
        if (row.offered != 0) {
            EXPECT_EQ(reading.offeredBytes, row.offered);
        }
        if (row.nameCount >= 0) {
            EXPECT_EQ(reading.movieNames.size(), row.nameCount);
            EXPECT_EQ(reading.fileNames.size(), row.nameCount);
        } else {
            EXPECT_EQ(reading.movieNames, row.names);
        }
    }
}

}  // namespace
}  // namespace tessaro
