#include "kvbase/pixels/pixel_types.h"

KC24 KBlack24(0, 0, 0);
KC24 KRed24(0, 0, 255);
KC24 KGreen24(0, 255, 0);
KC24 KBlue24(255, 0, 0);
KC24 KCyan24(255, 255, 0);
KC24 KMagenta24(255, 0, 255);
KC24 KYellow24(0, 255, 255);
KC24 KWhite24(255, 255, 255);
KC24 KGray24(128, 128, 128);
