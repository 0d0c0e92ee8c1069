#include "library/views/FolderLoader.h"

namespace spinlorex {

FolderLoader::FolderLoader(Done done, Lister list)
    : done_(std::move(done)),
      list_(std::move(list)),
      reads_([this](uint64_t read, std::vector<FolderItem> items) {
          deliver(read, std::move(items));
      }) {}

void FolderLoader::request(const std::string& folder) {
    reads_.dropWaiting();  // asked before this one and not started: nobody waits for them
    awaited_ = reads_.start([list = list_, folder](const auto& reply) { reply(list(folder)); });
}

void FolderLoader::deliver(uint64_t read, std::vector<FolderItem> items) {
    if (awaited_ != read) return;  // a newer folder was asked for meanwhile
    awaited_.reset();
    done_(std::move(items));
}

}  // namespace spinlorex
