#include "page/LivePage.h"

#include <filesystem>

#include "page/PageFiles.h"
#include "runtime/ProgramDir.h"
#include "station/PublishQueue.h"

namespace korv {

LivePage::LivePage(const LivePageOptions& options, const std::string& folder)
    : Options(options), RecordPath(folder + "/" + kLiveStatusName) {
  if (!Options.PublishPage) return;
  WebDir = Options.WebDir.empty() ? ProgramDir() + "/web" : Options.WebDir;
  Files = std::make_unique<PageFiles>(WebDir, folder + "/page-files.published");
}

LivePage::~LivePage() = default;

void LivePage::PictureSaved(LiveStatus status, const std::string& picturePath, PublishQueue& queue,
                            const std::function<void(const std::string&)>& log) {
  if (!On()) return;
  const auto now = std::chrono::steady_clock::now();
  if (LastPicture) status.PeriodS = std::chrono::duration<double>(now - *LastPicture).count();
  LastPicture = now;
  std::error_code error;
  const auto bytes = std::filesystem::file_size(picturePath, error);
  status.Bytes = error ? 0 : static_cast<int64_t>(bytes);
  status.DiskFreeBytes = DiskFreeBytes(std::filesystem::path(picturePath).parent_path().string());
  status.LastUploadFailure = LastFailure;
  try {
    WriteLiveStatus(RecordPath, status);
    queue.Add(RecordPath, kLiveStatusName);
  } catch (const std::exception& e) {
    log(std::string("status record: ") + e.what());
  }
  if (!Files) return;
  Files->QueueChanged(queue);
  const bool missing = !std::filesystem::is_directory(WebDir, error);
  if (missing && !WebDirMissing) log("live page: no page files in " + WebDir);  // once, the station goes on
  WebDirMissing = missing;
}

}  // namespace korv
