#include "link/Downloader.h"

std::atomic<int> DownloadStage{0};
