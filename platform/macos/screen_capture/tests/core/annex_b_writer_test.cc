#include "h264/annex_b_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>
#include <vector>

#include "support/fakes.h"

namespace vornakel::capture {
namespace {

using testing_support::ScriptedWriteCalls;
using Bytes = std::vector<uint8_t>;

Bytes sequence(size_t count, uint8_t first = 0) {
  Bytes bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

iovec piece(const Bytes& bytes) { return {const_cast<uint8_t*>(bytes.data()), bytes.size()}; }

TEST(AnnexBWriterTest, RepeatsAfterEintrAndContinuesAfterShortWrites) {
  ScriptedWriteCalls calls;
  calls.script = {{-1, EINTR}, {3}, {-1, EINTR}, {100}};
  const Bytes data = sequence(10);
  EXPECT_FALSE(AnnexBWriter(1, calls).writeAll(std::span<const uint8_t>(data)));
  EXPECT_EQ(calls.accepted, data);
  EXPECT_EQ(calls.writeCalls, 4);
}

TEST(AnnexBWriterTest, ZeroOrFailureMeansTheReaderIsGone) {
  const Bytes data = sequence(10);
  for (const auto step : {ScriptedWriteCalls::Step{0}, ScriptedWriteCalls::Step{-1, EPIPE},
                          ScriptedWriteCalls::Step{-1, EBADF}}) {
    ScriptedWriteCalls calls;
    calls.script = {{4}, step, {100}};
    EXPECT_EQ(AnnexBWriter(1, calls).writeAll(std::span<const uint8_t>(data)),
              AnnexBWriterError::downstreamClosed);
    EXPECT_EQ(calls.accepted, sequence(4));
    EXPECT_EQ(calls.writeCalls, 2);  // nothing after the failure
  }
}

TEST(AnnexBWriterTest, EmptyBufferWritesNothing) {
  ScriptedWriteCalls calls;
  calls.script = {{-1, EPIPE}};
  EXPECT_FALSE(AnnexBWriter(1, calls).writeAll(std::span<const uint8_t>()));
  EXPECT_EQ(calls.writeCalls, 0);
  const std::vector<iovec> none;
  EXPECT_FALSE(AnnexBWriter(1, calls).writeAll(std::span<const iovec>(none)));
  EXPECT_EQ(calls.writevCalls, 0);
}

TEST(AnnexBWriterTest, GatheredWriteResumesInsideAndBetweenPieces) {
  ScriptedWriteCalls calls;
  const Bytes a = sequence(5, 0), b = sequence(7, 10), c = sequence(3, 20);
  const Bytes empty;
  const std::vector<iovec> pieces = {piece(a), piece(empty), piece(b), piece(c)};
  // Stops inside a, exactly at the end of b, then inside c.
  calls.script = {{2}, {-1, EINTR}, {10}, {1}, {100}};
  EXPECT_FALSE(AnnexBWriter(1, calls).writeAll(std::span<const iovec>(pieces)));
  Bytes expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  EXPECT_EQ(calls.accepted, expected);
  EXPECT_EQ(calls.writevCalls, 5);
  // The caller's list is untouched.
  EXPECT_EQ(pieces[0].iov_len, 5u);
}

TEST(AnnexBWriterTest, GatheredWriteStopsAtTheFirstFailure) {
  ScriptedWriteCalls calls;
  const Bytes a = sequence(5), b = sequence(5, 5);
  const std::vector<iovec> pieces = {piece(a), piece(b)};
  calls.script = {{3}, {0}, {100}};
  EXPECT_EQ(AnnexBWriter(1, calls).writeAll(std::span<const iovec>(pieces)),
            AnnexBWriterError::downstreamClosed);
  EXPECT_EQ(calls.accepted, sequence(3));
  EXPECT_EQ(calls.writevCalls, 2);
}

TEST(AnnexBWriterTest, MorePiecesThanOneCallTakes) {
  ScriptedWriteCalls calls;
  std::vector<Bytes> storage;
  for (int i = 0; i < 3000; ++i)
    storage.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
  std::vector<iovec> pieces;
  Bytes expected;
  for (const auto& bytes : storage) {
    pieces.push_back(piece(bytes));
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_FALSE(AnnexBWriter(1, calls).writeAll(std::span<const iovec>(pieces)));
  EXPECT_EQ(calls.accepted, expected);
  EXPECT_GE(calls.writevCalls, 2);
}

TEST(AnnexBWriterTest, ClosedPipeIsReportedNotFatal) {
  // SIGPIPE is ignored by the program; the test process does the same for this case.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previous), 0);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  const Bytes data = sequence(16);
  EXPECT_EQ(AnnexBWriter(ends[1]).writeAll(std::span<const uint8_t>(data)),
            AnnexBWriterError::downstreamClosed);
  close(ends[1]);
  sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
}  // namespace vornakel::capture
