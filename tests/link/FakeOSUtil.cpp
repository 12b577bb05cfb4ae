// The link tests only use COSUtil's two public buffer members. Until the image
// container's own constructor and destructor are linked in, these weak stand-ins
// let the tests build; the real definitions win as soon as they are present.
#include "image/OSUtil.h"

__attribute__((weak)) COSUtil::COSUtil()
{
}

__attribute__((weak)) COSUtil::~COSUtil()
{
}
