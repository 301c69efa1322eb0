// Every text the engine shows the user, and the names it looks for. Each is a
// constant that lives as long as the process, so a callback may keep its address.
#pragma once

namespace vardel::texts {

// Serial link.
inline constexpr char16_t kPortOpenFailed[] = u"串口打开失败!";
inline constexpr char16_t kPortConfigFailed[] = u"串口配置失败!";
inline constexpr char16_t kPortOpened[] = u"串口打开成功!";
inline constexpr char16_t kSendFailed[] = u"发送数据失败!";

// Record and reporting.
inline constexpr char16_t kBusy[] = u"状态忙!";

// Outgoing frames.
inline constexpr char16_t kBadBlockRequest[] = u"MCU请求数据出错!";

// Status replies of the MCU.
inline constexpr char16_t kEraseOk[] = u"擦除成功";
inline constexpr char16_t kEraseFailed[] = u"擦除失败";
inline constexpr char16_t kChipEncrypted[] = u"芯片被加密";
inline constexpr char16_t kUpgradeSucceeded[] = u"升级成功!";

// Firmware image.
inline constexpr char16_t kImageOpenFailed[] = u"打开升级文件失败!";
inline constexpr char16_t kQ9OpenFailed[] = u"打开Q9升级文件KD51A.BIN失败!";
inline constexpr char16_t kMtkOpenFailed[] = u"打开MTK升级文件MTK51A.BIN失败!";
inline constexpr char16_t kImageReadFailed[] = u"读取升级文件失败!";

// Step machine.
inline constexpr char16_t kConnected[] = u"通信建立，开始传输数据!";
inline constexpr char16_t kUpgrading[] = u"正在升级......, 请稍后, 不要断电!!!";

// The navigation program, by the names it runs under on each platform.
inline constexpr char16_t kQ9Navigation[] = u"Q9Gps";
inline constexpr char16_t kMtkNavigation[] = u"MtkGps";

}  // namespace vardel::texts
