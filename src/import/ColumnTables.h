#pragma once

#include <array>
#include <string_view>

namespace vip::import {

// Sheet titles of the category workbook and the VipCardType columns they
// feed, paired entry by entry.
inline constexpr std::array<std::string_view, 2> VipTypeTitles = {"类别编号", "类别名称"};
inline constexpr std::array<std::string_view, 2> VipTypeFields = {"VCT_No", "VCT_Name"};

// Sheet titles of the member workbook and the VipCardMaster columns they feed.
inline constexpr std::array<std::string_view, 11> VipMasterTitles = {
    "类别编号", "会员卡ID", "会员卡号", "姓名",     "性别",    "手机号码",
    "创建日期", "到期日期", "总余额",   "本金余额", "赠送余额"};
inline constexpr std::array<std::string_view, 11> VipMasterFields = {
    "VCT_No",      "VCM_CardID",       "VCM_CardNo",     "VCM_GuestName",
    "VCM_Sex",     "VCM_MobileNo",     "VCM_CreateDate", "VCM_EndDate",
    "VCM_Balance", "VCM_BalancePayed", "VCM_BalanceFree"};

}  // namespace vip::import
