// linkroll2.dat: layout on write, the tolerant reader, the safe save and the set-aside of a bad file.
#include "core/base/dates.h"
#include "core/urldb/database_file.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

class DatabaseFileTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    fs::path file_ = dir_ / "linkroll2.dat";

    UrlDatabase LoadBytes(const std::string& bytes, LoadStatus expected = LoadStatus::Loaded) {
        WriteFileBytes(file_, bytes);
        UrlDatabase db;
        EXPECT_EQ(LoadDatabase(db, file_).status, expected);
        return db;
    }

    std::vector<std::string> OtherFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path())) {
            if (entry.path() != file_) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }
};

void ExpectRow(const UrlDatabase& db, std::size_t i, const std::string& url, const std::string& lastSent,
               const std::string& submits) {
    ASSERT_LT(i, db.recordCount());
    const UrlRecord& r = db.rows()[i];
    EXPECT_EQ(r.number, std::to_string(i + 1));
    EXPECT_EQ(r.url, url);
    EXPECT_EQ(r.lastSent, lastSent);
    EXPECT_EQ(r.submits, submits);
}

struct Cells {
    std::string url, lastSent, submits;
};

// Rows with every kind of value a list can hold: any bytes in an address (line breaks and NUL
// included), dates in the list form, empty or as some file had them, counts of every shape.
std::vector<Cells> VariedCells(std::size_t count, bool listFormDatesOnly) {
    std::mt19937 rng(20100305);
    const std::string pieces[] = {"http://", "https://", "HTTP://www.",        "a",        "Z", ".",      "/",
                                  "\n",      "\r",       std::string(1, '\0'), "\xc3\xa9", "~", "example"};
    const std::string oddDates[] = {"3/5/2010", "x,k1", "13/1/2010", " 01/02/2003"};
    const std::string counts[] = {"0", "-3", "abc", "", "007", " 5", std::to_string(LLONG_MAX), "2147483648"};
    std::vector<Cells> rows;
    for (std::size_t i = 0; i < count; ++i) {
        Cells c;
        const std::size_t length = i % 997 == 0 ? 20000 : rng() % 12;
        for (std::size_t k = 0; k < length; ++k) {
            c.url += pieces[rng() % std::size(pieces)];
        }
        switch (rng() % 4) {
        case 0:
            break;
        case 1:
            if (!listFormDatesOnly) {
                c.lastSent = oddDates[rng() % std::size(oddDates)];
                break;
            }
            [[fallthrough]];
        default:
            c.lastSent =
                NormalizeDateLine(std::to_string(1 + rng() % 12) + "/" + std::to_string(1 + rng() % 28) +
                                  "/" + std::to_string(1 + rng() % 9999));
        }
        c.submits = rng() % 2 == 0 ? std::to_string(rng() % 100000) : counts[rng() % std::size(counts)];
        rows.push_back(c);
    }
    return rows;
}

UrlDatabase DatabaseOf(const std::vector<Cells>& cells, const std::string& email) {
    UrlDatabase db;
    for (const Cells& c : cells) {
        db.AppendLoaded(c.url, c.lastSent, c.submits);
    }
    db.setEmail(email);
    return db;
}

TEST_F(DatabaseFileTest, SavedFileHoldsEveryValueAsItsOwnCrLfLine) {
    const std::vector<Cells> cells = VariedCells(20000, false);
    const UrlDatabase db = DatabaseOf(cells, "owner\n@x\r");
    std::string expected;
    auto line = [&expected](std::string value) {
        std::replace(value.begin(), value.end(), '\n', ' ');
        expected += value + "\r\n";
    };
    for (const Cells& c : cells) {
        line(c.url);
        line(c.lastSent);
        line(c.submits);
    }
    line("EOS");
    line(db.email());

    EXPECT_TRUE(SerializeDatabase(db) == expected);
    ASSERT_TRUE(SaveDatabase(db, file_));
    EXPECT_TRUE(ReadFileBytes(file_) == expected);
    // Read back a piece at a time and written again, the file stays as it is but for the dates the
    // loader puts in the list form.
    UrlDatabase back;
    LoadDatabase(back, file_);
    ASSERT_EQ(back.recordCount(), cells.size());
    EXPECT_EQ(back.email(), "owner @x\r");
    for (std::size_t i = 0; i < cells.size(); ++i) {
        std::string url = cells[i].url;
        std::replace(url.begin(), url.end(), '\n', ' ');
        ASSERT_EQ(back.Url(i), url) << i;
        ASSERT_EQ(back.CellText(i, ListColumn::Submits), cells[i].submits) << i;
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const UrlRecord r = db.rows()[i];
        ASSERT_EQ(r.url, cells[i].url) << i;
        ASSERT_EQ(r.lastSent, cells[i].lastSent) << i;
        ASSERT_EQ(r.submits, cells[i].submits) << i;
    }
}

// The bytes of a file in UTF-16 (little-endian), as a text editor may have saved it.
std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

bool IsBackupName(const std::string& name) {
    const std::string prefix = "linkroll2.dat.bak-";
    if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 15) {
        return false;
    }
    const std::string stamp = name.substr(prefix.size(), 15); // YYYYMMDD-HHMMSS
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        if (i == 8 ? stamp[i] != '-' : (stamp[i] < '0' || stamp[i] > '9')) {
            return false;
        }
    }
    return true;
}

TEST_F(DatabaseFileTest, FileThatLoadsAlteredIsKeptAsItWasBeforeTheFirstSave) {
    const std::string clean = "u1\r\n01/02/2010\r\n3\r\nEOS\r\nme@x\r\n";
    const struct {
        const char* what;
        std::string bytes;
        bool altered;
    } cases[] = {
        {"bare addresses", "http://a.example\r\nhttp://b.example\r\nhttp://c.example\r\n", true},
        {"a UTF-16 copy", Utf16(clean), true},
        {"records after a stray end marker", "u1\r\n\r\n0\r\nEOS\r\nme@x\r\nu2\r\n\r\n0\r\nEOS\r\n\r\n",
         true},
        {"no end marker", "u1\r\n01/02/2010\r\n3\r\n", true},
        {"a date with more after it", "u1\r\n3/5/2010 noon\r\n3\r\nEOS\r\n\r\n", true},
        {"a date written short", "u1\r\n3/5/2010\r\n3\r\nEOS\r\n\r\n", false},
        {"a count that is not a number", "u1\n\nthree\nEOS\nme@x\n", true},
        {"a NUL byte", std::string("u\0001\n\n0\nEOS\n\n", 12), true},
        {"the program's own file", SerializeDatabase(DatabaseOf(VariedCells(3000, true), "a@b")), false},
        {"line feeds only", "u1\n01/02/2010\n3\nEOS\nme@x\n", false},
        {"no e-mail line", "u1\r\n\r\n1\r\nEOS\r\n", false},
        {"an empty file", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : OtherFiles()) {
            fs::remove(dir_ / name);
        }
        WriteFileBytes(file_, c.bytes);
        UrlDatabase db;
        const LoadResult result = LoadDatabase(db, file_);
        EXPECT_EQ(result.altered, c.altered);
        if (!c.altered) {
            EXPECT_TRUE(result.keptCopy.empty());
            EXPECT_TRUE(OtherFiles().empty());
            EXPECT_EQ(LoadNoticeText(result, file_), "");
            continue;
        }
        ASSERT_EQ(OtherFiles().size(), 1U);
        EXPECT_EQ(result.keptCopy, dir_ / OtherFiles().front());
        EXPECT_TRUE(IsBackupName(result.keptCopy.filename().string())) << result.keptCopy;
        EXPECT_NE(LoadNoticeText(result, file_).find(result.keptCopy.string()), std::string::npos);
        db.AppendUrl("www.added.example");
        ASSERT_TRUE(SaveDatabase(db, file_));
        EXPECT_TRUE(ReadFileBytes(result.keptCopy) == c.bytes);
    }
}

TEST_F(DatabaseFileTest, MissingOrEmptyFileLoadsEmpty) {
    UrlDatabase db;
    db.setEmail("left over");
    EXPECT_EQ(LoadDatabase(db, file_).status, LoadStatus::Missing);
    EXPECT_EQ(db.recordCount(), 0U);
    EXPECT_EQ(db.email(), "");

    db = LoadBytes("");
    EXPECT_EQ(db.recordCount(), 0U);
    EXPECT_EQ(db.email(), "");
}

TEST_F(DatabaseFileTest, SaveWritesThreeLinesPerRecordThenEosAndEmail) {
    UrlDatabase db;
    db.AppendLoaded("http://a.b", "03/05/2010", "2");
    db.AppendLoaded("https://c.d/x y", "", "0");
    db.setEmail("me@a.b");
    ASSERT_TRUE(SaveDatabase(db, file_));
    EXPECT_EQ(ReadFileBytes(file_), "http://a.b\r\n03/05/2010\r\n2\r\n"
                                    "https://c.d/x y\r\n\r\n0\r\n"
                                    "EOS\r\nme@a.b\r\n");

    UrlDatabase empty;
    ASSERT_TRUE(SaveDatabase(empty, file_));
    EXPECT_EQ(ReadFileBytes(file_), "EOS\r\n\r\n");
}

TEST_F(DatabaseFileTest, SavedBytesLoadBackUnchanged) {
    UrlDatabase db;
    db.AppendLoaded("http://caf\xc3\xa9.example/\t?a=b,c", "12/31/1999", "not a number");
    db.AppendLoaded("http://x\ry", "", "5");
    db.AppendLoaded("EOS.example", "02/29/2000", "");
    db.setEmail("  spaced@e.mail  ");
    ASSERT_TRUE(SaveDatabase(db, file_));

    UrlDatabase back;
    EXPECT_EQ(LoadDatabase(back, file_).status, LoadStatus::Loaded);
    ASSERT_EQ(back.recordCount(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        ExpectRow(back, i, db.rows()[i].url, db.rows()[i].lastSent, db.rows()[i].submits);
    }
    EXPECT_EQ(back.email(), db.email());
}

TEST_F(DatabaseFileTest, LineFeedOnlyAndCrLfFilesReadAlike) {
    const std::string lf = "http://a\n3/5/2010\n7\nhttp://b\n\nabc\nEOS\nme@x\n";
    std::string crlf;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    for (const std::string& bytes : {lf, crlf}) {
        UrlDatabase db = LoadBytes(bytes);
        ASSERT_EQ(db.recordCount(), 2U);
        ExpectRow(db, 0, "http://a", "03/05/2010", "7");
        ExpectRow(db, 1, "http://b", "", "abc");
        EXPECT_EQ(db.email(), "me@x");
    }
}

TEST_F(DatabaseFileTest, BadDatesLoadEmptyAndCountsStayAsWritten) {
    UrlDatabase db =
        LoadBytes("u1\r\n13/1/2010\r\n 4 \r\nu2\r\n2/30/2010\r\n\r\nu3\r\nletters\r\n9\r\nEOS\r\n");
    ExpectRow(db, 0, "u1", "", " 4 ");
    ExpectRow(db, 1, "u2", "", "");
    ExpectRow(db, 2, "u3", "", "9");
}

TEST_F(DatabaseFileTest, MissingEosOrEmailKeepsTheCompleteRecords) {
    UrlDatabase db = LoadBytes("u1\r\n\r\n1\r\nu2\r\n\r\n2\r\n");
    EXPECT_EQ(db.recordCount(), 2U);
    EXPECT_EQ(db.email(), "");

    db = LoadBytes("u1\r\n\r\n1\r\nEOS\r\n");
    EXPECT_EQ(db.recordCount(), 1U);
    EXPECT_EQ(db.email(), "");
    ASSERT_TRUE(SaveDatabase(db, file_));
    EXPECT_EQ(ReadFileBytes(file_), "u1\r\n\r\n1\r\nEOS\r\n\r\n");

    db = LoadBytes("EOS\r\nonly@mail");
    EXPECT_EQ(db.recordCount(), 0U);
    EXPECT_EQ(db.email(), "only@mail");
}

TEST_F(DatabaseFileTest, RecordCutShortKeepsItsAddressAsNeverCounted) {
    UrlDatabase db = LoadBytes("u1\r\n1/2/2010\r\n3\r\nu2\r\n");
    ASSERT_EQ(db.recordCount(), 2U);
    ExpectRow(db, 0, "u1", "01/02/2010", "3");
    ExpectRow(db, 1, "u2", "", "0");

    db = LoadBytes("u1\r\n1/2/2010\r\n3\r\nu2\r\n5/6/2011");
    ExpectRow(db, 1, "u2", "05/06/2011", "0");

    db = LoadBytes("u1\r\n1/2/2010\r\n3\r\nu2\r\n5/6/2011\r\n4"); // last line without its line end
    ExpectRow(db, 1, "u2", "05/06/2011", "4");
}

TEST_F(DatabaseFileTest, VeryLongLinesAreReadWhole) {
    const std::string longUrl = "http://" + std::string(3000000, 'u'); // longer than a read piece
    const std::string longMail = std::string(100000, 'm') + "@x";
    UrlDatabase db = LoadBytes(longUrl + "\r\n1/1/2001\r\n" + std::string(500, '9') +
                               "\r\nshort\r\n\r\n0\r\nEOS\r\n" + longMail + "\r\n");
    ASSERT_EQ(db.recordCount(), 2U);
    ExpectRow(db, 0, longUrl, "01/01/2001", std::string(500, '9'));
    ExpectRow(db, 1, "short", "", "0");
    EXPECT_EQ(db.email(), longMail);
}

TEST_F(DatabaseFileTest, LineFeedInsideAValueCannotSplitItsRecord) {
    UrlDatabase db;
    db.AppendLoaded("http://a\nb", "", "1");
    db.AppendLoaded("http://c", "", "2");
    db.setEmail("x\ny");
    ASSERT_TRUE(SaveDatabase(db, file_));
    UrlDatabase back;
    LoadDatabase(back, file_);
    ASSERT_EQ(back.recordCount(), 2U);
    ExpectRow(back, 0, "http://a b", "", "1");
    ExpectRow(back, 1, "http://c", "", "2");
    EXPECT_EQ(back.email(), "x y");
}

TEST_F(DatabaseFileTest, UnreadableFileIsSetAsideBeforeAnySave) {
    fs::create_directory(file_);
    WriteFileBytes(file_ / "inside", "precious");

    UrlDatabase db;
    const LoadResult result = LoadDatabase(db, file_);
    EXPECT_EQ(result.status, LoadStatus::Unreadable);
    EXPECT_EQ(db.recordCount(), 0U);
    ASSERT_FALSE(result.setAside.empty());
    EXPECT_EQ(result.setAside.parent_path(), dir_.path());
    EXPECT_EQ(result.setAside.filename().string().rfind("linkroll2.dat.unreadable-", 0), 0U);
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_EQ(ReadFileBytes(result.setAside / "inside"), "precious");

    db.AppendUrl("www.new.example");
    ASSERT_TRUE(SaveDatabase(db, file_));
    EXPECT_EQ(ReadFileBytes(result.setAside / "inside"), "precious");

    // A second bad file within the same second gets a name of its own.
    fs::remove(file_);
    fs::create_directory(file_);
    const LoadResult again = LoadDatabase(db, file_);
    ASSERT_FALSE(again.setAside.empty());
    EXPECT_NE(again.setAside, result.setAside);
    EXPECT_TRUE(fs::is_directory(again.setAside));
}

TEST_F(DatabaseFileTest, FailedSaveLeavesTheOldFileByteIdentical) {
    const std::string old = "http://old\r\n01/01/2001\r\n4\r\nEOS\r\nold@mail\r\n";
    WriteFileBytes(file_, old);
    UrlDatabase db;
    for (int i = 0; i < 1000; ++i) {
        db.AppendUrl("www.new" + std::to_string(i) + ".example");
    }
    // The disk fills up half-way through the write.
    const FileWriter halfThenFail = [](int fd, std::string_view bytes) {
        WriteAllToFd(fd, bytes.substr(0, bytes.size() / 2));
        return false;
    };
    EXPECT_FALSE(SaveDatabaseWith(db, file_, halfThenFail));
    EXPECT_EQ(ReadFileBytes(file_), old);
    EXPECT_TRUE(OtherFiles().empty()) << "temporary file left behind";

    ASSERT_TRUE(SaveDatabase(db, file_));
    UrlDatabase back;
    LoadDatabase(back, file_);
    EXPECT_EQ(back.recordCount(), 1000U);
    EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(DatabaseFileTest, SaveFollowsASymlinkedDataFile) {
    const fs::path real = dir_ / "real.dat";
    WriteFileBytes(real, "EOS\r\n\r\n");
    fs::create_symlink(real, file_);
    UrlDatabase db;
    db.setEmail("a@b");
    ASSERT_TRUE(SaveDatabase(db, file_));
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(ReadFileBytes(real), "EOS\r\na@b\r\n");
}

TEST(DatabaseFilePlace, DefaultFileIsUnderDataHomeAndItsFolderIsMadeOnSave) {
    test::TempDir dir;
    test::ScopedXdgHome home(dir.path());
    const fs::path file = DefaultDatabasePath();
    EXPECT_EQ(file, dir.path() / "data" / "Sendwell" / "linkroll2.dat");
    UrlDatabase db;
    db.AppendUrl("www.a.b");
    ASSERT_TRUE(SaveDatabase(db, file));
    EXPECT_EQ(ReadFileBytes(file), "http://www.a.b\r\n\r\n0\r\nEOS\r\n\r\n");
}

} // namespace
} // namespace sendwell
