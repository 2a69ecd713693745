// Test packages that carry a given catalogue entry (entry 0) and the smallest animation the player can
// show, ".kar" archives of them, and the texts of the warnings that refused them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/archive_writer.h"
#include "package/pack_writer.h"
#include "platform/headless/headless.h"
#include "support/test_packages.h"

// The four lines of a catalogue entry. The second line is never blank: a blank line would not count.
inline std::string catalogue_text(const std::string& header, const std::string& name, const std::string& offsets) {
  return header + "\r\nVelissa test\r\n" + name + "\r\n" + offsets + "\r\n";
}

// A package whose entry 0 holds entry_text, with one 8 x 8 frame (entries 1 to 3) and padding bytes in
// entry 9 (an uncompressed "pck01").
inline std::vector<unsigned char> package_with_entry(const std::string& entry_text, size_t padding = 0) {
  static const TestAnimation one_frame = [] {
    TestAnimation animation;
    animation.canvas_width = animation.canvas_height = 8;
    TestFrame frame;
    frame.width = frame.height = 8;
    animation.frames.push_back(frame);
    return animation;
  }();
  static const PackBuilder frames = test_package(one_frame);
  PackBuilder builder;
  add_entry(builder, 0, entry_text.data(), static_cast<int32_t>(entry_text.size()));
  for (size_t row = 0; row < frames.ids.size(); ++row)
    if (frames.ids[row] != 0) add_entry(builder, frames.ids[row], frames.data.data() + frames.offsets[row], frames.sizes[row]);
  std::vector<unsigned char> pad(padding, 0x5A);
  add_entry(builder, 9, pad.data(), static_cast<int32_t>(pad.size()));
  std::vector<unsigned char> file;
  encode_package(builder, "pck01", file);
  return file;
}

inline std::vector<unsigned char> test_package(const std::string& name, int version = 1,
                                               const std::string& offsets = "0,0") {
  return package_with_entry(catalogue_text("c." + std::to_string(version) + ".", name, offsets));
}

// A version 1 package named name whose file is exactly size bytes long (at least about 60).
inline std::vector<unsigned char> test_package_of_size(const std::string& name, size_t size) {
  const std::string entry = catalogue_text("c.1.", name, "0,0");
  return package_with_entry(entry, size - package_with_entry(entry).size());
}

inline std::vector<unsigned char> test_archive(const std::vector<ArchiveMember>& members) {
  std::vector<unsigned char> archive;
  encode_archive(members, archive);
  return archive;
}

// The texts of the message boxes shown since the last headless_reset, each checked to be a warning:
// caption "Warning", the warning icon, one OK button.
inline std::vector<std::string> warning_texts() {
  std::vector<std::string> texts;
  for (const HeadlessMessageBox& box : headless_message_boxes()) {
    EXPECT_EQ(box.caption, "Warning");
    EXPECT_EQ(box.flags, static_cast<uint32_t>(MB_OK | MB_ICONWARNING));
    texts.push_back(box.text);
  }
  return texts;
}
