// The default header-descriptor table: every header field and every part of the
// image file, addressed by its index. The part entries are empty until a parse fills
// a COSUtil's own copy.
#include "image/ImageFormat.h"

const HEADER_DESCRIPTOR DEFAULT_HEADER_DESCRIPTORS[HEADER_DESCRIPTOR_COUNT] = {
    {0, 4, "TAVU TAG"},
    {4, 4, "Image Flag"},
    {8, 48, "OS size "},
    {56, 4, "RELEASE Tag"},
    {60, 4, "Key1"},
    {64, 4, "Key2"},
    {68, 4, "Key3"},
    {72, 4, "Key4"},
    {76, 4, "Key5"},
    {80, 4, "Key6"},
    {84, 4, "Key7"},
    {88, 4, "Key8"},
    {92, 4, "Flash Type"},
    {96, 4, "Key10"},
    {100, 4, "Bluetooth"},
    {0, 0, "Reserve Region"},
    {0, 0, "OS"},
    {0, 0, "BootLoader"},
    {0, 0, "UsbDownloader"},
    {0, 0, "Vantor"},
    {0, 0, "IPL"},
    {0, 0, "MOT Agent File"},
    {0, 0, "MOT File"},
};
