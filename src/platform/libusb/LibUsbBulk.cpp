#include "platform/libusb/LibUsbBulk.h"
