// The songs: Standard MIDI Files that parse event by event, last 30 to 60 seconds, loop on a clean end and play
// on a sequencer.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "tests/assetgen/asset_files.h"

namespace {

struct Song {
  int format = -1, tracks = 0, division = 0;
  int trackChunks = 0;
  uint32_t tempo = 500000;  // microseconds per quarter; one tempo for the whole song
  std::vector<uint32_t> trackEnds;
  int notes = 0;
  bool drums = false;
  std::set<int> voiced;     // channels that play notes
  std::set<int> programmed;  // channels whose instrument was chosen before their first note
  std::vector<std::string> faults;
};

uint32_t VarLen(const std::vector<uint8_t>& b, size_t& at, size_t end) {
  uint32_t v = 0;
  for (int i = 0; i < 4 && at < end; ++i) {
    uint8_t c = b[at++];
    v = (v << 7) | (c & 0x7F);
    if (!(c & 0x80)) return v;
  }
  return v;
}

// Parses one MTrk body; every note-on must be closed in the same track, and end-of-track must come last.
void ParseTrack(const std::vector<uint8_t>& b, size_t at, size_t end, Song& s) {
  uint32_t tick = 0;
  uint8_t status = 0;
  std::map<int, int> open;  // channel * 128 + note -> count
  bool ended = false;
  while (at < end) {
    if (ended) return s.faults.push_back("events after end of track");
    tick += VarLen(b, at, end);
    if (at >= end) return s.faults.push_back("truncated event");
    if (b[at] & 0x80) status = b[at++];
    if (status == 0xFF) {
      uint8_t type = b[at++];
      uint32_t len = VarLen(b, at, end);
      if (type == 0x51 && len == 3) s.tempo = (uint32_t(b[at]) << 16) | (uint32_t(b[at + 1]) << 8) | b[at + 2];
      if (type == 0x2F) ended = true;
      at += len;
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {
      at += VarLen(b, at, end);
      continue;
    }
    if (status < 0x80) return s.faults.push_back("data byte without running status");
    int kind = status & 0xF0, channel = status & 0x0F;
    int length = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    if (at + size_t(length) > end) return s.faults.push_back("truncated channel message");
    int key = channel * 128 + b[at];
    if (kind == 0xC0 && !s.voiced.count(channel)) s.programmed.insert(channel);
    if (kind == 0x90 && b[at + 1] > 0) {
      s.voiced.insert(channel);
      ++open[key];
      ++s.notes;
      s.drums = s.drums || channel == 9;
    } else if (kind == 0x80 || kind == 0x90) {
      if (open[key]-- <= 0) s.faults.push_back("note-off without note-on");
    }
    at += size_t(length);
  }
  if (!ended) s.faults.push_back("no end-of-track event");
  for (const auto& [key, count] : open)
    if (count != 0) s.faults.push_back("note left sounding at the end");
  s.trackEnds.push_back(tick);
}

Song ParseSong(const std::string& path) {
  Song s;
  std::vector<uint8_t> b = ReadBytes(path);
  if (b.size() < 14 || std::memcmp(b.data(), "MThd", 4) || Be32(b, 4) != 6) {
    s.faults.push_back("no MThd header");
    return s;
  }
  s.format = (b[8] << 8) | b[9];
  s.tracks = (b[10] << 8) | b[11];
  s.division = (b[12] << 8) | b[13];
  size_t at = 14;
  while (at + 8 <= b.size()) {
    uint32_t len = Be32(b, at + 4);
    if (std::memcmp(b.data() + at, "MTrk", 4) || at + 8 + len > b.size()) {
      s.faults.push_back("bad track chunk");
      return s;
    }
    ParseTrack(b, at + 8, at + 8 + len, s);
    ++s.trackChunks;
    at += 8 + len;
  }
  if (at != b.size()) s.faults.push_back("trailing bytes");
  return s;
}

TEST(MusicFiles, EightSongsParseAsStandardMidiFiles) {
  for (const std::string& name : SongNames()) {
    Song s = ParseSong(AssetDir() + "/mid/" + name);
    EXPECT_TRUE(s.faults.empty()) << name << ": " << (s.faults.empty() ? "" : s.faults[0]);
    EXPECT_EQ(s.format, 1) << name;
    EXPECT_EQ(s.tracks, s.trackChunks) << name;
    EXPECT_GT(s.division, 0) << name << " uses ticks per quarter";
    EXPECT_LT(s.division, 0x8000) << name;
    EXPECT_GE(s.notes, 200) << name;
    EXPECT_TRUE(s.drums) << name << " has a drum part";
    EXPECT_GE(s.voiced.size(), 3u) << name << ": melody, bass and drums at least";
    for (int ch : s.voiced) {
      if (ch == 9) continue;  // the drum kit needs no program
      EXPECT_TRUE(s.programmed.count(ch)) << name << ": channel " << ch << " plays before its instrument is set";
    }
  }
}

// Every track ends on the same tick (the loop point) and the song lasts 30 to 60 seconds.
TEST(MusicFiles, SongsLoopCleanlyAndLastHalfAMinuteToAMinute) {
  for (const std::string& name : SongNames()) {
    Song s = ParseSong(AssetDir() + "/mid/" + name);
    ASSERT_FALSE(s.trackEnds.empty()) << name;
    for (uint32_t e : s.trackEnds) EXPECT_EQ(e, s.trackEnds[0]) << name;
    EXPECT_EQ(s.trackEnds[0] % uint32_t(s.division * 4), 0u) << name << " ends on a bar line";
    double seconds = double(s.trackEnds[0]) / s.division * s.tempo / 1e6;
    EXPECT_GE(seconds, 30.0) << name;
    EXPECT_LE(seconds, 60.0) << name;
  }
}

TEST(MusicFiles, TheWorldsEachHaveTheirOwnSong) {
  std::vector<std::vector<uint8_t>> seen;
  for (const std::string& name : SongNames()) seen.push_back(ReadBytes(AssetDir() + "/mid/" + name));
  for (size_t i = 0; i < seen.size(); ++i)
    for (size_t j = i + 1; j < seen.size(); ++j) EXPECT_NE(seen[i], seen[j]) << SongNames()[i] << " " << SongNames()[j];
}

// A real sequencer loads each file and plays through its first second.
TEST(MusicFiles, EverySongPlaysOnASequencer) {
  fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
  fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
  for (const std::string& name : SongNames()) {
    std::string path = AssetDir() + "/mid/" + name;
    ASSERT_TRUE(fluid_is_midifile(path.c_str())) << name;
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    fluid_synth_t* synth = new_fluid_synth(settings);
    fluid_player_t* player = new_fluid_player(synth);
    ASSERT_EQ(fluid_player_add(player, path.c_str()), FLUID_OK) << name;
    ASSERT_EQ(fluid_player_play(player), FLUID_OK) << name;
    std::vector<int16_t> buffer(2 * 1024);
    for (int i = 0; i < 44; ++i)
      fluid_synth_write_s16(synth, 1024, buffer.data(), 0, 2, buffer.data(), 1, 2);
    EXPECT_EQ(fluid_player_get_status(player), FLUID_PLAYER_PLAYING) << name;
    EXPECT_EQ(fluid_player_get_total_ticks(player), int(ParseSong(path).trackEnds.at(0))) << name;
    EXPECT_GT(fluid_player_get_current_tick(player), 0) << name;
    fluid_player_stop(player);
    delete_fluid_player(player);
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
  }
}

}  // namespace
