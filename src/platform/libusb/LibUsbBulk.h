// Bulk USB through libusb-1.0, loaded at run time.
#pragma once
