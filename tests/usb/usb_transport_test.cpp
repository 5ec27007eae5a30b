#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "board/usb_transport.h"
#include "emulated_board.h"

namespace evkit::test {
namespace {

constexpr UsbId kBoardId{0x10c4, 0xea61};

UsbIdSetting configured(UsbId id = kBoardId) {
    return {id, "test", ""};
}

TEST(UsbTransportEmulated, Smoke) {
    if (!EmulatedBoard::available()) GTEST_SKIP() << "not running under umockdev";
    EmulatedBoard board(kBoardId, "EVKIT714 USB Board");
    board.plug();
    UsbTransport usb(configured());
    std::uint32_t count = 99;
    ASSERT_EQ(usb.GetNumDevices(&count), 0) << usb.errorDetail();
    EXPECT_EQ(count, 1u);
    std::string product;
    ASSERT_EQ(usb.GetProductString(0, &product), 0) << usb.errorDetail();
    EXPECT_EQ(product, "EVKIT714 USB Board");
    F32xHandle h = 0;
    ASSERT_EQ(usb.Open(0, &h), 0) << usb.errorDetail();
    const std::uint8_t frame[6] = {0x1E, 0, 0, 0, 0, 0};
    std::uint32_t n = 0;
    ASSERT_EQ(usb.Write(h, frame, 6, &n), 0);
    std::uint8_t answer[3];
    ASSERT_EQ(usb.Read(h, answer, 3, &n), 0);
    EXPECT_EQ(usb.Close(h), 0);
}

}  // namespace
}  // namespace evkit::test
