// The live page's part in the station: after each picture the status record
// is written to the working folder and queued to be published right after
// the picture; with the page on, its files are queued at the start and
// whenever they differ from what was published. Off, it does nothing.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "page/LiveStatus.h"

namespace korv {

class PageFiles;
class PublishQueue;

struct LivePageOptions {
  bool StatusRecord = false;  // --status-json: koftplive.json after each picture
  bool PublishPage = false;   // --publish-page: the page's files too (implies the record)
  std::string WebDir;         // where the page's files are ("": web/ beside the program)
};

class LivePage {
public:
  // `folder`: the working folder, which holds the record and the memory of
  // the published page files.
  LivePage(const LivePageOptions& options, const std::string& folder);
  ~LivePage();

  bool On() const { return Options.StatusRecord || Options.PublishPage; }

  // The picture `status` describes was saved as `picturePath`: its size,
  // the period since the picture before, the free disk space and the last
  // upload failure are filled in, the record written and queued, and the
  // page files that changed queued. Never raises: a record that can't be
  // written is logged through `log` and the next picture tries again.
  void PictureSaved(LiveStatus status, const std::string& picturePath, PublishQueue& queue,
                    const std::function<void(const std::string&)>& log);
  // What the last upload ended in ("" for success), for the next record.
  void UploadEnded(const std::string& failure) { LastFailure = failure; }

private:
  LivePageOptions Options;
  std::string RecordPath;
  std::string WebDir;
  bool WebDirMissing = false;  // and said so
  std::unique_ptr<PageFiles> Files;
  std::optional<std::chrono::steady_clock::time_point> LastPicture;
  std::string LastFailure;
};

}  // namespace korv
