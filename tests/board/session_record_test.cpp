// Recording a board session and playing it back: the session file format (every operation
// kind, escapes, the closing line), damaged files, gzip, and the replay transport's
// matching, divergence and timing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "board/board_link.h"
#include "board/connection.h"
#include "board/recording_transport.h"
#include "board/replay_transport.h"
#include "board/session_file.h"
#include "board/session_storage.h"
#include "sim/virtual_board.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit {
namespace {

std::string tmp(const std::string& name) {
    return ::testing::TempDir() + "evkit_session_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// One operation of every kind, with the awkward values: empty and long byte strings, a
// failing read, a product string with quotes and non-ASCII bytes, a detail.
std::vector<SessionOp> everyKind() {
    std::vector<SessionOp> ops(9);
    ops[0].kind = SessionOpKind::kCount;
    ops[0].value = 2;
    ops[1].kind = SessionOpKind::kProduct;
    ops[1].index = 1;
    const std::string product = "Board \"7\" \\ \xc3\xa9";
    ops[1].data.assign(product.begin(), product.end());
    ops[2].kind = SessionOpKind::kOpen;
    ops[2].index = 1;
    ops[2].value = 0xFFFFFFFFFFull;
    ops[3].kind = SessionOpKind::kTimeouts;
    ops[3].first = 987;
    ops[3].second = 876;
    ops[4].kind = SessionOpKind::kWrite;
    ops[4].handle = 0xFFFFFFFFFFull;
    ops[4].bytes = {0x7e, 0x01, 0x00, 0xff, 0xa0, 0x0f};
    ops[4].value = 6;
    ops[5].kind = SessionOpKind::kRead;
    ops[5].handle = 7;
    ops[5].first = 9;
    ops[5].status = 6;
    ops[5].value = 2;
    ops[5].data = {0xab, 0xcd};
    ops[5].detail = "Read timed out\nafter 987 ms";
    ops[6].kind = SessionOpKind::kRxQueue;
    ops[6].handle = 7;
    ops[6].value = 60;
    ops[6].state = 3;
    ops[7].kind = SessionOpKind::kFlush;
    ops[7].handle = 7;
    ops[7].status = -4;
    ops[8].kind = SessionOpKind::kClose;
    ops[8].handle = 7;
    ops[8].detail = "";
    for (std::size_t i = 0; i < ops.size(); ++i)
        ops[i].timeNs = static_cast<std::int64_t>(i) * 1234567891 + 1;
    return ops;
}

std::string fileOf(const std::vector<SessionOp>& ops, bool simulated = true) {
    std::string text = formatSessionHeader("evkit714-cli 3.0.2", simulated);
    for (std::size_t i = 0; i < ops.size(); ++i) text += formatSessionOp(i + 1, ops[i]);
    return text + formatSessionEnd(text, ops.size());
}

TEST(SessionFile, EveryOperationKindSurvivesFormatAndParseExactly) {
    const auto ops = everyKind();
    const std::string text = fileOf(ops);
    SessionFile parsed;
    std::string error;
    ASSERT_TRUE(parseSessionText(text, &parsed, &error)) << error << "\n" << text;
    EXPECT_EQ(parsed.program, "evkit714-cli 3.0.2");
    EXPECT_TRUE(parsed.simulated);
    ASSERT_EQ(parsed.ops.size(), ops.size());
    for (std::size_t i = 0; i < ops.size(); ++i) EXPECT_EQ(parsed.ops[i], ops[i]) << "op " << i;
    // The lines stay readable: hex bytes, quoted texts with escapes.
    EXPECT_NE(text.find("5 4.938271565 write 1099511627775 7e0100ffa00f = 0 6\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("product 1 = 0 \"Board \\\"7\\\" \\\\ \\xc3\\xa9\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("read 7 9 = 6 2 abcd detail \"Read timed out\\x0aafter 987 ms\""),
              std::string::npos)
        << text;
}

TEST(SessionFile, DamagedFilesAreRefusedWithTheLineAndTheFault) {
    const std::string good = fileOf(everyKind());
    const auto refused = [](const std::string& text) {
        SessionFile parsed;
        std::string error;
        EXPECT_FALSE(parseSessionText(text, &parsed, &error)) << text;
        return error;
    };
    // Cut off: before the closing line, in the middle of a line, before any operation.
    const std::size_t endLine = good.rfind("end ");
    EXPECT_EQ(refused(good.substr(0, endLine)),
              "line 13: the file ends without its closing line after operation 9 (it was cut "
              "off)");
    EXPECT_EQ(refused(good.substr(0, endLine - 5)),
              "line 12: the file is cut off in the middle of a line");
    EXPECT_NE(refused(good.substr(0, 30)).find("cut off"), std::string::npos);
    EXPECT_EQ(refused(""), "line 1: the file ends before its first operation");
    // One changed digit of a payload keeps the syntax but not the checksum.
    std::string changed = good;
    changed[changed.find("7e0100ffa00f")] = '6';
    EXPECT_EQ(refused(changed), "line 13: checksum mismatch: the file has been changed or damaged");
    // Syntax faults name their line.
    const auto withLine = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return refused(t);
    };
    EXPECT_EQ(withLine("= 0 6\n", "= 0\n"), "line 8: wrong number of fields for 'write'");
    EXPECT_EQ(withLine("7e0100ffa00f", "7e0100ffa00"), "line 8: bad value in 'write'");
    EXPECT_EQ(withLine("7e0100ffa00f", "7e0100ffa0zz"), "line 8: bad value in 'write'");
    EXPECT_EQ(withLine(" abcd ", " abcdef "), "line 9: bad value in 'read'");
    EXPECT_EQ(withLine("rxqueue", "rxqeue"), "line 10: unknown operation 'rxqeue'");
    EXPECT_EQ(withLine("\n6 ", "\n7 "), "line 9: operation number 7 where 6 was due");
    EXPECT_EQ(withLine("0.000000001", "0.00000001"), "line 4: bad time");
    EXPECT_EQ(withLine("board virtual", "board maybe"),
              "line 3: 'board usb' or 'board virtual' line missing");
    EXPECT_EQ(withLine("EVKIT714 session 1", "EVKIT714 session 2"),
              "line 1: not a session file (no \"EVKIT714 session 1\" line)");
    EXPECT_EQ(withLine("\"Board", "\"Bo\x01rd"), "line 5: control or non-ASCII character");
    EXPECT_EQ(withLine("end 9 ", "end 8 "),
              "line 13: the closing line counts 8 operations, the file holds 9");
    EXPECT_EQ(refused(good + "1 0.000000000 count = 0 1\n"),
              "line 13: text after the closing line");
}

TEST(SessionFile, GzipRoundTripAndDamagedCompressedData) {
    const std::string text = fileOf(everyKind());
    const std::string packed = gzipText(text);
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1f);
    std::string back, why;
    ASSERT_TRUE(gunzipText(packed, &back, &why)) << why;
    EXPECT_EQ(back, text);
    EXPECT_FALSE(gunzipText(packed.substr(0, packed.size() / 2), &back, &why));
    EXPECT_EQ(why, "the compressed data is cut off");
    std::string flipped = packed;
    flipped[packed.size() - 6] ^= 0x55;  // inside the CRC-32 of the gzip trailer
    EXPECT_FALSE(gunzipText(flipped, &back, &why));
    EXPECT_EQ(why, "the compressed data is damaged");

    // On disk the name decides the compression when writing; reading takes either.
    const std::string gz = tmp("round.session.gz"), plain = tmp("round.session");
    std::string error;
    ASSERT_TRUE(writeSessionFile(gz, text, &error)) << error;
    ASSERT_TRUE(writeSessionFile(plain, text, &error)) << error;
    EXPECT_EQ(slurp(gz).substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(slurp(plain), text);
    for (const auto& path : {gz, plain}) {
        SessionFile parsed;
        ASSERT_TRUE(readSessionFile(path, &parsed, &error)) << error;
        EXPECT_EQ(parsed.ops, everyKind());
    }
    std::ofstream(gz, std::ios::binary) << packed.substr(0, packed.size() - 10);
    SessionFile parsed;
    EXPECT_FALSE(readSessionFile(gz, &parsed, &error));
    EXPECT_EQ(error, "The session file \"" + gz + "\" is damaged: the compressed data is cut off.");
    EXPECT_FALSE(readSessionFile(tmp("missing"), &parsed, &error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
}

// A run over the virtual board: open, identify reads, a failing read (stalled board).
struct BoardRun {
    VirtualClock clock;
    RecordingMessages messages;
    NullPump pump;
};

int identifyOver(F32x& transport, BoardRun& run) {
    BoardLink link(transport, run.clock, run.messages, run.pump);
    if (int s = open_board(link, nullptr)) return s;
    std::int32_t word = 0;
    if (int s = link.readRegister(0, 15, &word)) return s;
    if (int s = link.readRegister(65, 0, &word, 32)) return s;
    return transport.Close(link.cyHandle);
}

TEST(SessionReplay, ARecordedRunReplaysWithTheSameFramesAnswersAndTimes) {
    const std::string path = tmp("identify.session");
    BoardRun original;
    std::vector<std::string> frames;
    std::vector<double> times;
    {
        sim::VirtualBoard board(original.clock);
        RecordingTransport recorder(board, original.clock, path, "test 1");
        ASSERT_EQ(identifyOver(recorder, original), 0);
        // A stalled board: the read times out after the virtual board's wait.
        board.stall(true);
        BoardLink link(recorder, original.clock, original.messages, original.pump);
        ASSERT_EQ(open_board(link, nullptr), 0);
        std::int32_t word = 0;
        EXPECT_NE(link.readRegister(0, 0, &word), 0);
        std::string error;
        ASSERT_TRUE(recorder.finish(&error)) << error;
        EXPECT_FALSE(std::ifstream(recorder.journalPath()).good());
        frames.push_back(std::to_string(board.framesReceived().size()));
    }
    const double originalEnd = original.clock.now();
    SessionFile session;
    std::string error;
    ASSERT_TRUE(readSessionFile(path, &session, &error)) << error;
    EXPECT_TRUE(session.simulated);
    EXPECT_EQ(session.program, "test 1");

    BoardRun again;
    ReplayTransport replay(session, again.clock, ReplayTiming::kInstant);
    std::vector<std::string> divergences;
    replay.onDivergence = [&](const std::string& m) { divergences.push_back(m); };
    EXPECT_TRUE(replay.simulated());
    ASSERT_EQ(identifyOver(replay, again), 0);
    BoardLink link(replay, again.clock, again.messages, again.pump);
    ASSERT_EQ(open_board(link, nullptr), 0);
    std::int32_t word = 0;
    EXPECT_NE(link.readRegister(0, 0, &word), 0);
    EXPECT_TRUE(replay.finish());
    EXPECT_TRUE(divergences.empty());
    // The same messages, and the virtual clock stands where the recorded run's stood.
    EXPECT_EQ(again.messages.shown, original.messages.shown);
    EXPECT_EQ(again.clock.now(), originalEnd);
    EXPECT_GT(originalEnd, 0.9);  // the stalled read's wait is in the recorded times
    EXPECT_FALSE(frames.empty());
}

TEST(SessionReplay, TheFirstDifferentOperationStopsTheReplayNamingItsIndex) {
    BoardRun original;
    SessionFile session;
    {
        const std::string path = tmp("diverge.session");
        sim::VirtualBoard board(original.clock);
        RecordingTransport recorder(board, original.clock, path, "test");
        ASSERT_EQ(identifyOver(recorder, original), 0);
        std::string error;
        ASSERT_TRUE(recorder.finish(&error)) << error;
        ASSERT_TRUE(readSessionFile(path, &session, &error)) << error;
    }
    // Operations 1-4 open the board, 5-8 read 0:15 (flush, page, command, read).
    BoardRun again;
    ReplayTransport replay(session, again.clock, ReplayTiming::kInstant);
    std::vector<std::string> divergences;
    replay.onDivergence = [&](const std::string& m) { divergences.push_back(m); };
    BoardLink link(replay, again.clock, again.messages, again.pump);
    ASSERT_EQ(open_board(link, nullptr), 0);
    std::int32_t word = 0;
    EXPECT_NE(link.readRegister(0, 14, &word), 0);
    ASSERT_EQ(divergences.size(), 1u);
    const std::string handle = std::to_string(session.ops[2].value);
    EXPECT_EQ(divergences[0], "Replay diverged at operation 7: expected write " + handle +
                                  " 1e0000000000, got write " + handle + " 1c0000000000.");
    EXPECT_EQ(replay.position(), 6u);
    // Everything after fails without guessing, and the divergence is said only once.
    std::uint32_t count = 9;
    EXPECT_NE(replay.GetNumDevices(&count), 0);
    EXPECT_NE(replay.Close(link.cyHandle), 0);
    EXPECT_FALSE(replay.finish());
    EXPECT_EQ(divergences.size(), 1u);
    EXPECT_EQ(replay.errorDetail(), divergences[0]);

    // A run that ends early leaves operations over: that is a divergence too.
    BoardRun short_;
    ReplayTransport early(session, short_.clock, ReplayTiming::kInstant);
    BoardLink earlyLink(early, short_.clock, short_.messages, short_.pump);
    ASSERT_EQ(open_board(earlyLink, nullptr), 0);
    EXPECT_FALSE(early.finish());
    EXPECT_EQ(early.divergence(), "Replay diverged at operation 5: expected flush " + handle +
                                      ", got the end of the run.");
    // And one that goes on past the recording's end.
    BoardRun longer;
    ReplayTransport past(session, longer.clock, ReplayTiming::kInstant);
    ASSERT_EQ(identifyOver(past, longer), 0);
    std::uint32_t n = 0;
    EXPECT_NE(past.GetNumDevices(&n), 0);
    EXPECT_EQ(past.divergence(), "Replay diverged at operation " +
                                     std::to_string(session.ops.size() + 1) +
                                     ": expected the end of the recording, got count.");
}

TEST(SessionReplay, RecordedTimingWaitsAndTheJournalHoldsARunThatNeverFinished) {
    // Recorded timing with all times 0 answers at once (and keeps the answers).
    std::vector<SessionOp> ops(1);
    ops[0].kind = SessionOpKind::kCount;
    ops[0].value = 3;
    SessionFile session;
    std::string error;
    ASSERT_TRUE(parseSessionText(fileOf(ops, false), &session, &error)) << error;
    SystemClock clock;
    ReplayTransport replay(session, clock, ReplayTiming::kRecorded);
    std::uint32_t count = 0;
    EXPECT_EQ(replay.GetNumDevices(&count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_FALSE(replay.simulated());
    EXPECT_TRUE(replay.finish());
    EXPECT_EQ(parseReplayTiming("recorded"), ReplayTiming::kRecorded);
    EXPECT_EQ(parseReplayTiming("instant"), ReplayTiming::kInstant);
    EXPECT_EQ(parseReplayTiming("fast"), std::nullopt);

    // A recorder that is never finished (the program died): the journal beside the file
    // holds the operations so far, up to the last batch or failure.
    const std::string path = tmp("crash.session");
    std::remove(path.c_str());
    VirtualClock vclock;
    sim::VirtualBoard board(vclock);
    auto* recorder = new RecordingTransport(board, vclock, path, "test");
    std::uint32_t n = 0;
    for (int i = 0; i < 40; ++i) recorder->GetNumDevices(&n);
    const std::string journal = slurp(recorder->journalPath());
    EXPECT_NE(journal.find("\n32 0.000000000 count = 0 1\n"), std::string::npos) << journal;
    EXPECT_EQ(journal.find("\n33 "), std::string::npos);
    EXPECT_FALSE(std::ifstream(path).good());
    // A failure is journalled at once.
    F32xHandle h = 0;
    recorder->Close(h);
    EXPECT_NE(slurp(recorder->journalPath()).find("\n41 0.000000000 close 0 = 1\n"),
              std::string::npos);
    delete recorder;  // finishing on destruction writes the file and drops the journal
    SessionFile written;
    ASSERT_TRUE(readSessionFile(path, &written, &error)) << error;
    EXPECT_EQ(written.ops.size(), 41u);
}

}  // namespace
}  // namespace evkit
