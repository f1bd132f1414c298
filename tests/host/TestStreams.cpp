// Line and block reading, files, writing and the stream/stage links.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "payload/RCTransform.h"
#include "tests/shared/TestBytes.h"
#include "tests/shared/TestFolder.h"

using namespace std::string_literals;

namespace {

std::string Text(const RCAnsiStr& s)
{
    return std::string(s.Text(), static_cast<size_t>(s.Length()));
}

// How the bytes under test reach the reader.
enum class Medium { kRaw, kPieces, kWhole };

const char* NameOf(Medium m)
{
    return m == Medium::kRaw ? "raw file" : m == Medium::kPieces ? "inflated, flushed piece by piece"
                                                                 : "inflated, flushed once";
}

std::string FileBytes(const std::vector<std::string>& pieces, Medium m)
{
    std::string all;
    for (const std::string& p : pieces)
        all += p;
    if (m == Medium::kRaw)
        return all;
    return m == Medium::kPieces ? SyncFlushed(pieces) : SyncFlushed({all});
}

// A reader as extraction sets it up, or over the raw file.
struct Reader {
    RCFile file;
    RCDecompress stage{8192};

    bool Open(const std::string& path, bool inflate)
    {
        return file.Open(path.c_str(), RCFile::kRead) && (!inflate || file.SetInputTransform(&stage));
    }
    ~Reader() { file.SetInputTransform(nullptr); }
};

// One read of a script: a line (with an optional bound) or a block.
struct Op {
    bool line;
    int32_t arg;      // line: maxLength; block: length asked
    int32_t result;   // line: 1 true, 0 false; block: the count
    std::string text; // the line, or the block's bytes
};

Op L(const std::string& text) { return {true, -1, 1, text}; }
Op End() { return {true, -1, 0, ""}; }
Op LMax(int32_t max, bool ok, const std::string& text) { return {true, max, ok ? 1 : 0, text}; }
Op B(int32_t n, const std::string& bytes) { return {false, n, static_cast<int32_t>(bytes.size()), bytes}; }

struct Script {
    const char* what;
    std::vector<std::string> pieces;
    std::vector<Op> ops;
};

class StreamTest : public ::testing::Test {
protected:
    // The path of a new file holding bytes (empty when it cannot be
    // written, which the opening that follows reports).
    std::string Put(const std::string& bytes) { return folder.WriteNew(bytes); }

    void Run(const Script& s, Medium m)
    {
        SCOPED_TRACE(std::string(s.what) + " / " + NameOf(m));
        Reader r;
        ASSERT_TRUE(r.Open(Put(FileBytes(s.pieces, m)), m != Medium::kRaw));
        RCAnsiStr line("junk");
        for (size_t i = 0; i < s.ops.size(); ++i) {
            const Op& op = s.ops[i];
            SCOPED_TRACE("read " + std::to_string(i));
            if (op.line) {
                EXPECT_EQ(r.file.ReadLine(line, op.arg) ? 1 : 0, op.result);
                EXPECT_EQ(Text(line), op.text);
            } else {
                std::string got(static_cast<size_t>(op.arg > 0 ? op.arg : 1), '?');
                int32_t n = r.file.Read(&got[0], op.arg);
                EXPECT_EQ(n, op.result);
                if (n >= 0) {
                    EXPECT_EQ(got.substr(0, static_cast<size_t>(n)), op.text);
                }
            }
        }
    }

    TestFolder folder{"streams"};
};

TEST_F(StreamTest, LinesAndBlocksOnEveryMedium)
{
    const std::string record = NoiseBytes(28, 1);
    const std::string longLine = NoiseBytes(30000, 2, true); // spans raw pieces
    const std::string run = std::string(300, 'x');           // longer than one gathering run
    const Script scripts[] = {
        {"tag and name", {"F", "\r\n", "setup.bmp", "\r\n"}, {L("F"), L("setup.bmp"), End(), End()}},
        {"lone LF", {"a\nb"}, {L("a"), L("b"), End()}},
        {"lone CR", {"a\rb"}, {L("a"), L("b"), End()}},
        {"CR, then CR LF", {"a\r\r\n"}, {L("a"), L(""), End()}},
        {"empty lines", {"\n\r\n\r"}, {L(""), L(""), L(""), End()}},
        {"text at the very end", {"abc"}, {L("abc"), End()}},
        {"CR at the very end", {"a\r"}, {L("a"), End(), B(4, "")}},
        {"nothing at all", {}, {End(), B(4, "")}},
        {"NUL adds nothing", {"a\0b\r\n\0\r\n"s}, {L("ab"), L(""), End()}},
        {"only a NUL before the end", {"\0"s}, {End()}},
        {"double-byte text kept as bytes", {"\x83\x5C\x82\xA0\r\n"}, {L("\x83\x5C\x82\xA0"), End()}},
        {"long lines", {run + "\r\n" + longLine + "\n" + "z"}, {L(run), L(longLine), L("z"), End()}},
        {"block after CR LF", {"x\r", "\n" + record}, {L("x"), B(28, record), B(1, "")}},
        {"block after a lone CR", {"x\r" + record}, {L("x"), B(28, record)}},
        {"block after LF", {"x\n\n" + record}, {L("x"), B(29, "\n" + record)}},
        {"block longer than the data", {"0123456789"}, {B(100, "0123456789"), B(100, ""), End()}},
        {"empty block keeps a pending CR", {"x\rA", "x\r\nB"}, {L("x"), B(0, ""), B(1, "A"), L("x"), B(0, ""), B(1, "B")}},
        {"block over many pieces", {"n\r\n", longLine}, {L("n"), B(30000, longLine)}},
        {"bounded: fits", {"abcd\r\nabc"}, {LMax(4, true, "abcd"), LMax(4, true, "abc"), End()}},
        {"bounded: one byte over", {"abcde\r\n"}, {LMax(4, false, "abcd"), L(""), End()}},
        {"bounded: NULs count", {"ab\0\0c\n"s}, {LMax(4, false, "ab"), L(""), End()}},
        {"bounded: zero", {"\r\na"}, {LMax(0, true, ""), LMax(0, false, ""), End()}},
        {"bounded: long line stops early", {longLine + "\r\n"}, {LMax(4096, false, longLine.substr(0, 4096)), B(4, longLine.substr(4097, 4))}},
    };
    for (const Script& s : scripts)
        for (Medium m : {Medium::kRaw, Medium::kPieces, Medium::kWhole})
            Run(s, m);
}

TEST_F(StreamTest, UnboundedLineOfAMegabyte)
{
    // Gathered in runs and set once; the text must come out whole.
    const std::string big = NoiseBytes(1 << 20, 3, true);
    Reader r;
    ASSERT_TRUE(r.Open(Put(SyncFlushed({big, "\r\n"})), true));
    RCAnsiStr line;
    ASSERT_TRUE(r.file.ReadLine(line));
    EXPECT_EQ(line.Length(), 1 << 20);
    EXPECT_TRUE(Text(line) == big);
}

// ---- files ----------------------------------------------------------------

TEST_F(StreamTest, OpenModes)
{
    struct Case {
        uint8_t mode;
        bool exists;
        bool opens;
        const char* after; // file content after writing "new"; null: no file
    };
    const Case cases[] = {
        {RCFile::kRead, true, true, "old"},     // the write fails, nothing changes
        {RCFile::kRead, false, false, nullptr},
        {RCFile::kWrite, true, true, "new"},
        {RCFile::kWrite, false, true, "new"},
        {RCFile::kAppend, true, true, "oldnew"},
        {RCFile::kAppend, false, true, "new"},
        {RCFile::kReadWrite, true, true, "new"},
        {RCFile::kReadWrite, false, false, nullptr},
        {4, true, false, "old"},
        {255, true, false, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + (c.exists ? ", existing file" : ", no file"));
        std::string name = folder.NewName();
        std::string path = folder.Join(name);
        if (c.exists) {
            ASSERT_TRUE(folder.WriteFile(name, "old"));
        }
        RCFile f;
        EXPECT_EQ(f.Open(path.c_str(), c.mode), c.opens);
        EXPECT_EQ(f.IsOpen(), c.opens);
        EXPECT_EQ(f.Write("new", 3), !c.opens ? -1 : c.mode == RCFile::kRead ? 0 : 3);
        // The failed write into a read-only file leaves the error indicator
        // set; some C runtimes report it again when closing.
        bool closed = f.Close();
        if (c.mode != RCFile::kRead) {
            EXPECT_TRUE(closed);
        }
        EXPECT_FALSE(f.IsOpen());
        std::string content;
        EXPECT_EQ(TestFolder::ReadFile(path, &content), c.after != nullptr);
        if (c.after != nullptr) {
            EXPECT_EQ(content, c.after);
        }
    }
}

TEST_F(StreamTest, BadModeClosesTheOpenFile)
{
    std::string path = Put("abc");
    RCFile f;
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
    EXPECT_FALSE(f.Open(path.c_str(), 4));
    EXPECT_FALSE(f.IsOpen());
    char c;
    EXPECT_EQ(f.Read(&c, 1), -1);
}

TEST_F(StreamTest, ClosedFile)
{
    RCFile f;
    char buffer[4] = {};
    RCAnsiStr line("junk");
    EXPECT_EQ(f.Read(buffer, 4), -1);
    EXPECT_FALSE(f.ReadLine(line));
    EXPECT_EQ(Text(line), "");
    EXPECT_EQ(f.Write("abc", 3), -1);
    EXPECT_EQ(f.ReadRaw(buffer, 4), -1);
    EXPECT_EQ(f.WriteRaw(buffer, 4), -1);
    EXPECT_FALSE(f.Seek(0));
    EXPECT_TRUE(f.IsEof());
    EXPECT_TRUE(f.IsError());
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.Open(nullptr, RCFile::kRead));
    EXPECT_FALSE(f.Open("", RCFile::kRead));

    // Closed after use, with a stage attached: the data has ended.
    std::string path = Put(SyncFlushed({"abc\r\n"}));
    Reader r;
    ASSERT_TRUE(r.Open(path, true));
    EXPECT_TRUE(r.file.Close());
    EXPECT_FALSE(r.file.HasInputBuffer());
    EXPECT_EQ(r.file.Read(buffer, 4), 0);
    EXPECT_FALSE(r.file.ReadLine(line));
}

TEST_F(StreamTest, SeekAndEndOfFile)
{
    RCFile f;
    ASSERT_TRUE(f.Open(Put("0123456789").c_str(), RCFile::kRead));
    char buffer[8] = {};
    EXPECT_FALSE(f.Seek(-1));
    ASSERT_TRUE(f.Seek(7));
    EXPECT_FALSE(f.IsEof());
    EXPECT_EQ(f.Read(buffer, 8), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_TRUE(f.IsEof());
    EXPECT_FALSE(f.IsError());
    EXPECT_TRUE(f.Seek(100)); // past the end is allowed; reads then give nothing
    EXPECT_EQ(f.Read(buffer, 8), 0);
}

TEST_F(StreamTest, ReopenBeginsTheStageAgain)
{
    std::string path = Put(SyncFlushed({"first\r\n", "second\r\n"}));
    Reader r;
    ASSERT_TRUE(r.Open(path, true));
    RCAnsiStr line;
    ASSERT_TRUE(r.file.ReadLine(line));
    EXPECT_TRUE(r.file.Close());
    EXPECT_FALSE(r.stage.IsBegun());
    EXPECT_EQ(r.file.InputTransform(), &r.stage); // still attached
    // A fresh inflate stream from the file's start; the pending CR is gone.
    ASSERT_TRUE(r.file.Open(path.c_str(), RCFile::kRead));
    EXPECT_TRUE(r.stage.IsBegun());
    ASSERT_TRUE(r.file.ReadLine(line));
    EXPECT_EQ(Text(line), "first");
    ASSERT_TRUE(r.file.ReadLine(line));
    EXPECT_EQ(Text(line), "second");
}

#ifndef _WIN32
TEST_F(StreamTest, CloseReportsLostData)
{
    // /dev/full accepts buffered writes and fails when they are flushed.
    RCFile f;
    ASSERT_TRUE(f.Open("/dev/full", RCFile::kWrite));
    EXPECT_EQ(f.Write("abc", 3), 3);
    EXPECT_FALSE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());
}
#endif

// ---- stages ---------------------------------------------------------------

// A stage that records what is asked of it. Each step hands out its input
// repeated `repeat` times; Begin and Process fail on request.
class Recorder : public RCTransform {
public:
    explicit Recorder(int32_t repeat = 1) : RCTransform(16), repeat_(repeat) {}
    ~Recorder() override { End(); }

    bool Begin() override
    {
        ++begins;
        if (failBegin || begun)
            return false;
        begun = true;
        return true;
    }
    bool Process(const uint8_t* input, int32_t n, const uint8_t** out, int32_t* outLength) override
    {
        ++steps;
        ClearOutput();
        if (failProcess)
            return false;
        for (int32_t i = 0; i < repeat_; ++i)
            AppendOutput(input, n);
        *out = OutputData();
        *outLength = OutputLength();
        return true;
    }
    bool End() override
    {
        if (begun)
            ++ends;
        begun = false;
        return true;
    }

    int begins = 0;
    int ends = 0;
    int steps = 0;
    bool begun = false;
    bool failBegin = false;
    bool failProcess = false;

private:
    int32_t repeat_;
};

TEST_F(StreamTest, AttachDetachAndReplace)
{
    RCFile f;
    Recorder a;
    Recorder b;
    EXPECT_TRUE(f.SetInputTransform(&a));
    EXPECT_EQ(a.Owner(), &f);
    EXPECT_TRUE(a.begun);
    EXPECT_TRUE(f.HasInputBuffer());

    // The stage already attached: ended and begun again from scratch.
    EXPECT_TRUE(f.SetInputTransform(&a));
    EXPECT_EQ(a.ends, 1);
    EXPECT_EQ(a.begins, 2);
    EXPECT_EQ(a.Owner(), &f);

    EXPECT_TRUE(f.SetInputTransform(&b));
    EXPECT_EQ(a.ends, 2);
    EXPECT_EQ(a.Owner(), nullptr);
    EXPECT_EQ(b.Owner(), &f);
    EXPECT_EQ(f.InputTransform(), &b);

    EXPECT_TRUE(f.SetInputTransform(nullptr));
    EXPECT_EQ(b.ends, 1);
    EXPECT_EQ(b.Owner(), nullptr);
    EXPECT_EQ(f.InputTransform(), nullptr);
    EXPECT_FALSE(f.HasInputBuffer());

    EXPECT_TRUE(f.SetOutputTransform(&a));
    EXPECT_EQ(a.Owner(), &f);
    EXPECT_TRUE(f.SetOutputTransform(nullptr));
    EXPECT_EQ(a.Owner(), nullptr);
    EXPECT_EQ(a.ends, 3);
}

TEST_F(StreamTest, CloseEndsStagesAndOpenBeginsThem)
{
    std::string path = Put("abc");
    RCFile f;
    Recorder in;
    Recorder out;
    ASSERT_TRUE(f.SetInputTransform(&in));
    ASSERT_TRUE(f.SetOutputTransform(&out));
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead)); // nothing open: nothing ended
    EXPECT_EQ(in.ends, 0);
    EXPECT_EQ(in.begins, 2); // the second Begin fails (already begun) and is ignored
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
    EXPECT_EQ(in.ends, 1);
    EXPECT_EQ(out.ends, 1);
    EXPECT_TRUE(in.begun);
    EXPECT_TRUE(out.begun);
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(in.begun);
    EXPECT_FALSE(out.begun);
    EXPECT_FALSE(f.HasInputBuffer());
    EXPECT_EQ(f.InputTransform(), &in);
    EXPECT_EQ(f.OutputTransform(), &out);
    f.SetInputTransform(nullptr);
    f.SetOutputTransform(nullptr);
}

TEST_F(StreamTest, StageDestroyedBeforeItsStream)
{
    std::string path = Put("raw bytes\r\n");
    RCFile f;
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
    {
        Recorder in;
        Recorder out;
        ASSERT_TRUE(f.SetInputTransform(&in));
        ASSERT_TRUE(f.SetOutputTransform(&out));
        char c;
        ASSERT_EQ(f.Read(&c, 1), 1); // step output held by the stream
        EXPECT_EQ(in.steps, 1);
    } // both go: the stream forgets them without ending them
    EXPECT_EQ(f.InputTransform(), nullptr);
    EXPECT_EQ(f.OutputTransform(), nullptr);
    EXPECT_FALSE(f.HasInputBuffer());
    // The held step output is gone with its stage; reads take the raw file
    // from where the stage left it (its end).
    char buffer[16];
    EXPECT_EQ(f.Read(buffer, 16), 0);
    ASSERT_TRUE(f.Seek(0));
    RCAnsiStr line;
    ASSERT_TRUE(f.ReadLine(line));
    EXPECT_EQ(Text(line), "raw bytes");
}

TEST_F(StreamTest, InflateStageDestroyedBeforeItsStream)
{
    std::string path = Put(SyncFlushed({"abc\r\n"}));
    RCFile f;
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
    {
        RCDecompress stage(8192);
        ASSERT_TRUE(f.SetInputTransform(&stage));
    }
    EXPECT_EQ(f.InputTransform(), nullptr);
    EXPECT_FALSE(f.HasInputBuffer());
    uint8_t header[2] = {};
    ASSERT_EQ(f.Read(header, 2), 2); // raw file bytes: the zlib header
    EXPECT_EQ(header[0], 0x78);
    EXPECT_EQ(header[1], 0xDA);
}

TEST_F(StreamTest, StreamDestroyedBeforeItsStages)
{
    struct Case {
        bool open;
        int ends; // a closed stream does not end its stages; an open one closes first
    };
    for (const Case& c : {Case{false, 0}, Case{true, 1}}) {
        SCOPED_TRACE(c.open ? "open file" : "closed file");
        Recorder in;
        RCDecompress inflate(8192);
        std::string path = Put("x");
        {
            RCFile f;
            if (c.open) {
                ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
            }
            ASSERT_TRUE(f.SetInputTransform(&in));
            ASSERT_TRUE(f.SetOutputTransform(&inflate));
            EXPECT_EQ(in.ends, 0);
        }
        EXPECT_EQ(in.Owner(), nullptr);
        EXPECT_EQ(inflate.Owner(), nullptr);
        EXPECT_EQ(in.ends, c.ends);
        EXPECT_EQ(inflate.IsBegun(), !c.open);
    } // the stages go last, with no stream to tell
}

TEST_F(StreamTest, FailedAttachGivesNoData)
{
    std::string path = Put("abc\r\n");
    struct Case {
        const char* what;
        bool recorder; // else an inflate stage that is already begun
    };
    for (const Case& c : {Case{"Begin fails", true}, Case{"inflate stage already begun", false}}) {
        SCOPED_TRACE(c.what);
        RCFile f;
        ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
        Recorder failing;
        failing.failBegin = true;
        RCDecompress begun(8192);
        ASSERT_TRUE(begun.Begin());
        RCTransform* stage = c.recorder ? static_cast<RCTransform*>(&failing) : &begun;
        EXPECT_FALSE(f.SetInputTransform(stage));
        EXPECT_EQ(f.InputTransform(), stage);
        EXPECT_FALSE(f.HasInputBuffer());
        char buffer[8];
        EXPECT_EQ(f.Read(buffer, 8), 0);
        RCAnsiStr line;
        EXPECT_FALSE(f.ReadLine(line));
        EXPECT_EQ(failing.steps, 0);
        f.SetInputTransform(nullptr);
    }
    // The same after a stage that had output held: it is not handed out.
    RCFile f;
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
    Recorder first;
    Recorder failing;
    failing.failBegin = true;
    ASSERT_TRUE(f.SetInputTransform(&first));
    char c;
    ASSERT_EQ(f.Read(&c, 1), 1);
    EXPECT_FALSE(f.SetInputTransform(&failing));
    EXPECT_EQ(f.Read(&c, 1), 0);
    f.SetInputTransform(nullptr);
}

TEST_F(StreamTest, FailedStepEndsTheData)
{
    std::string path = Put(std::string(20000, 'a'));
    RCFile f;
    ASSERT_TRUE(f.Open(path.c_str(), RCFile::kRead));
    Recorder stage;
    ASSERT_TRUE(f.SetInputTransform(&stage));
    std::string buffer(10000, '\0');
    ASSERT_EQ(f.Read(&buffer[0], 10), 10);
    stage.failProcess = true;
    // The rest of the first step, then nothing; each failed step costs a raw piece.
    EXPECT_EQ(f.Read(&buffer[0], 10000), 8182);
    EXPECT_EQ(f.Read(&buffer[0], 10000), 0);
    EXPECT_EQ(stage.steps, 3);
    f.SetInputTransform(nullptr);
}

// ---- writing --------------------------------------------------------------

TEST_F(StreamTest, WriteThroughAStage)
{
    struct Case {
        const char* what;
        int32_t repeat;
        bool failProcess;
        int32_t result;
        const char* file;
    };
    const Case cases[] = {
        {"doubled", 2, false, 4, "abcdabcd"},
        {"no output", 0, false, 4, ""},
        {"failed step", 1, true, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = folder.Join(folder.NewName());
        RCFile f;
        ASSERT_TRUE(f.Open(path.c_str(), RCFile::kWrite));
        Recorder stage(c.repeat);
        stage.failProcess = c.failProcess;
        EXPECT_TRUE(f.SetOutputTransform(&stage));
        EXPECT_EQ(f.Write("abcd", 4), c.result);
        EXPECT_TRUE(f.Close());
        std::string content;
        ASSERT_TRUE(TestFolder::ReadFile(path, &content));
        EXPECT_EQ(content, c.file);
        f.SetOutputTransform(nullptr);
    }
    // A medium that takes fewer bytes than the stage made.
    RCFile f;
    ASSERT_TRUE(f.Open(Put("x").c_str(), RCFile::kRead));
    Recorder stage(2);
    Recorder failing;
    failing.failBegin = true;
    EXPECT_FALSE(f.SetOutputTransform(&failing));
    EXPECT_TRUE(f.SetOutputTransform(&stage));
    EXPECT_EQ(f.Write("abcd", 4), -1);
    EXPECT_EQ(f.Write("abcd", -1), -1);
    f.SetOutputTransform(nullptr);
}

// A stream over memory: reads from a text, writes to another.
class MemoryStream : public RCStream {
public:
    explicit MemoryStream(std::string in) : in_(std::move(in)) {}
    int32_t ReadRaw(void* buffer, int32_t length) override
    {
        size_t n = std::min(static_cast<size_t>(length), in_.size() - at_);
        std::memcpy(buffer, in_.data() + at_, n);
        at_ += n;
        return static_cast<int32_t>(n);
    }
    int32_t WriteRaw(const void* buffer, int32_t length) override
    {
        written.append(static_cast<const char*>(buffer), static_cast<size_t>(length));
        return length;
    }
    bool IsError() const override { return false; }
    bool IsEof() const override { return at_ == in_.size(); }

    std::string written;

private:
    std::string in_;
    size_t at_ = 0;
};

TEST_F(StreamTest, WritesLeaveTheReadStepAlone)
{
    MemoryStream s("abcdef");
    Recorder in;
    Recorder out(2);
    ASSERT_TRUE(s.SetInputTransform(&in));
    ASSERT_TRUE(s.SetOutputTransform(&out));
    char buffer[8] = {};
    ASSERT_EQ(s.Read(buffer, 2), 2);
    EXPECT_EQ(s.Write("xy", 2), 2);
    EXPECT_EQ(s.written, "xyxy");
    ASSERT_EQ(s.Read(buffer, 8), 4);
    EXPECT_EQ(std::string(buffer, 4), "cdef");
    s.SetInputTransform(nullptr);
    s.SetOutputTransform(nullptr);
}

// ---- the output buffer ----------------------------------------------------

TEST_F(StreamTest, OutputBufferGrowth)
{
    Recorder stage; // growth step 16
    const uint8_t bytes[40] = {};
    struct Step {
        int32_t count;
        int32_t length;
        int32_t capacity;
    };
    const Step steps[] = {
        {0, 0, 0},    // nothing added, nothing allocated
        {5, 5, 21},   // need + growth step
        {16, 21, 21}, // fits exactly
        {1, 22, 38},
        {-3, 22, 38},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(stage.AppendOutput(bytes, s.count), s.length);
        EXPECT_EQ(stage.OutputLength(), s.length);
        EXPECT_EQ(stage.OutputCapacity(), s.capacity);
    }
    EXPECT_TRUE(stage.ClearOutput());
    EXPECT_EQ(stage.OutputData(), nullptr);
    EXPECT_EQ(stage.OutputCapacity(), 0);
    EXPECT_EQ(stage.AppendOutput(bytes, INT32_MAX), -1); // would not fit with the growth step
    EXPECT_EQ(stage.OutputLength(), 0);
}

} // namespace
