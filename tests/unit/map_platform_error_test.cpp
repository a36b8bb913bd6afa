#include <gtest/gtest.h>

#include "serial/call_platform.h"

namespace {

struct MappingCase {
  DWORD code;
  int number;
};

class MapPlatformErrorTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(MapPlatformErrorTest, MapsCodeToItsCategory) {
  EXPECT_EQ(mapPlatformError(GetParam().code), GetParam().number) << "code " << GetParam().code;
}

// Every listed code, plus the borders of the "everything else" range.
INSTANTIATE_TEST_SUITE_P(
    Table, MapPlatformErrorTest,
    ::testing::Values(MappingCase{1, 75}, MappingCase{16, 75}, MappingCase{37, 75},
                      MappingCase{40, 75}, MappingCase{86, 75}, MappingCase{88, 75},
                      MappingCase{111, 75}, MappingCase{113, 75}, MappingCase{1117, 75},
                      MappingCase{0xFFFFFFFFu, 75}, MappingCase{2, 53}, MappingCase{18, 53},
                      MappingCase{3, 76}, MappingCase{4, 67}, MappingCase{5, 70},
                      MappingCase{19, 70}, MappingCase{32, 70}, MappingCase{33, 70},
                      MappingCase{36, 70}, MappingCase{6, 51}, MappingCase{11, 51},
                      MappingCase{12, 51}, MappingCase{13, 51}, MappingCase{22, 51},
                      MappingCase{24, 51}, MappingCase{7, 241}, MappingCase{9, 241},
                      MappingCase{10, 241}, MappingCase{8, 7}, MappingCase{14, 7},
                      MappingCase{15, 68}, MappingCase{20, 68}, MappingCase{17, 74},
                      MappingCase{21, 71}, MappingCase{23, 72}, MappingCase{25, 72},
                      MappingCase{26, 72}, MappingCase{27, 72}, MappingCase{28, 72},
                      MappingCase{29, 72}, MappingCase{30, 72}, MappingCase{31, 72},
                      MappingCase{34, 72}, MappingCase{35, 72}, MappingCase{38, 62},
                      MappingCase{39, 61}, MappingCase{112, 61}, MappingCase{87, 5}));

}  // namespace
