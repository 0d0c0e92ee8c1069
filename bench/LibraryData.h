#pragma once

// What the library's benchmarks work on, made once: a DJ's collection of 100,000 tracks in
// the internal database file, and one folder of 10,000 tracks (empty files: the files list
// reads names and sizes, never the audio).

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "library/DatabaseFile.h"
#include "library/TrackDatabase.h"

namespace spinlorex::bench {

class LibraryData {
public:
    static constexpr int kRecords = 100'000;
    static constexpr int kFolderTracks = 10'000;

    // Under `root`: home/ holds the database, crate/ the folder of tracks.
    explicit LibraryData(const std::filesystem::path& root)
        : home_(root / "home"), crate_(root / "crate") {
        std::filesystem::create_directories(home_);
        std::filesystem::create_directories(crate_);
        // The blocks are written one after the other, as the program would have appended
        // them over the years.
        std::ofstream db(home_ / TrackDatabase::kFileName, std::ios::binary);
        for (int i = 0; i < kRecords; ++i) {
            TrackRecord record;
            record.name = "Collection Artist " + std::to_string(i % 997) + " - Track " +
                          std::to_string(i) + ".mp3";
            record.fileSize = 3'000'000u + static_cast<uint32_t>(i);
            record.bpm = 90.0f + static_cast<float>(i % 700) / 10.0f;
            record.lastUsedDate = TrackDatabase::packDate(2020 + i % 5, 1 + i % 12, 1 + i % 28);
            const std::vector<unsigned char> block = DatabaseFile::encodeRecord(record);
            db.write(reinterpret_cast<const char*>(block.data()),
                     static_cast<std::streamsize>(block.size()));
        }
        // A tenth of the folder's tracks are in the collection already (same name and size).
        for (int i = 0; i < kFolderTracks; ++i) {
            const bool known = i % 10 == 0;
            const std::string name = known
                                         ? "Collection Artist " + std::to_string(i % 997) +
                                               " - Track " + std::to_string(i) + ".mp3"
                                         : "Crate Artist " + std::to_string(i % 313) + " - Tune " +
                                               std::to_string(i) + (i % 3 == 0 ? ".wav" : ".mp3");
            std::ofstream(crate_ / name, std::ios::binary);
            std::error_code ignored;
            std::filesystem::resize_file(
                crate_ / name, known ? 3'000'000u + static_cast<uint32_t>(i) : 1000u + i, ignored);
        }
    }
    const std::filesystem::path& home() const { return home_; }
    const std::filesystem::path& crate() const { return crate_; }

private:
    std::filesystem::path home_;
    std::filesystem::path crate_;
};

}  // namespace spinlorex::bench
