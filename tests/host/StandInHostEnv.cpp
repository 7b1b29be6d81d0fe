#include "tests/host/HostEnv.h"

#include "tests/standin/JniStandIn.h"

namespace {

class StandInHostEnv : public HostEnv {
  public:
    JNIEnv* env() override { return standIn_.env(); }
    void EnterNativeMethod() override { standIn_.EnterNativeMethod(); }
    jobject LeaveNativeMethod(jobject result) override {
        return standIn_.LeaveNativeMethod(result);
    }
    std::vector<std::string> TakeBreaches() override { return standIn_.TakeBreaches(); }

  private:
    JniStandIn standIn_;
};

} // namespace

std::unique_ptr<HostEnv> MakeStandInHostEnv() {
    return std::make_unique<StandInHostEnv>();
}
