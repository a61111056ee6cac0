// The agent's answers for the site's microphone and camera: what a later request gets, by origin
// and by kind of device, without a display.
#include <gtest/gtest.h>

#include "platform/gtk/browser/permissions/device_answers.h"

namespace tavro::platform::gtk {
namespace {

const std::string kSite = "http://127.0.0.1:8080";
const std::string kOther = "http://localhost:8080";
constexpr CaptureDevices kMicrophone{true, false};
constexpr CaptureDevices kCamera{false, true};
constexpr CaptureDevices kBoth{true, true};

TEST(DeviceAnswersTest, AnAllowHoldsForItsOriginAndItsDevicesOnly) {
  DeviceAnswers answers;
  EXPECT_EQ(answers.For(kSite, kBoth), DeviceVerdict::Ask);
  EXPECT_EQ(answers.For(kSite, CaptureDevices{}), DeviceVerdict::Deny) << "a request for nothing";
  EXPECT_FALSE(answers.MayListDevices(kSite)) << "names before any answer";

  answers.Record(kSite, kMicrophone, true);
  EXPECT_EQ(answers.For(kSite, kMicrophone), DeviceVerdict::Allow);
  EXPECT_EQ(answers.For(kSite, kBoth), DeviceVerdict::Ask) << "the camera was never answered";
  EXPECT_EQ(answers.For(kOther, kMicrophone), DeviceVerdict::Ask) << "an answer went to another origin";
  EXPECT_TRUE(answers.MayListDevices(kSite));
  EXPECT_FALSE(answers.MayListDevices(kOther));
  EXPECT_EQ(answers.Answered(kSite, false), true);
  EXPECT_EQ(answers.Answered(kSite, true), std::nullopt);

  answers.Record(kSite, kBoth, true);
  EXPECT_EQ(answers.For(kSite, kBoth), DeviceVerdict::Allow);
  EXPECT_EQ(answers.For(kSite, kCamera), DeviceVerdict::Allow);
}

TEST(DeviceAnswersTest, ARefusalHoldsForWhatWasNotAllowedBeforeAndRefusesEveryRequestWithIt) {
  DeviceAnswers answers;
  answers.Record(kSite, kMicrophone, true);
  answers.Record(kSite, kBoth, false);
  EXPECT_EQ(answers.For(kSite, kMicrophone), DeviceVerdict::Allow) << "the refused call took the microphone back";
  EXPECT_EQ(answers.For(kSite, kCamera), DeviceVerdict::Deny);
  EXPECT_EQ(answers.For(kSite, kBoth), DeviceVerdict::Deny) << "a request with a refused device";
  EXPECT_EQ(answers.Answered(kSite, true), false);

  DeviceAnswers refused;
  refused.Record(kSite, kBoth, false);
  EXPECT_EQ(refused.For(kSite, kMicrophone), DeviceVerdict::Deny);
  EXPECT_FALSE(refused.MayListDevices(kSite)) << "names after a refusal";
}

}  // namespace
}  // namespace tavro::platform::gtk
