// The JNI stand-in as the env of a host run: one of its own, or one a harness already drives
// (the sweep's, whose failures it plans).
#pragma once

#include "tests/host/HostEnv.h"
#include "tests/standin/JniStandIn.h"

class StandInHostEnv : public HostEnv {
  public:
    StandInHostEnv() : owned_(std::make_unique<JniStandIn>()), standIn_(*owned_) {}
    explicit StandInHostEnv(JniStandIn& standIn) : standIn_(standIn) {}

    JNIEnv* env() override { return standIn_.env(); }
    void EnterNativeMethod() override { standIn_.EnterNativeMethod(); }
    jobject LeaveNativeMethod(jobject result) override {
        return standIn_.LeaveNativeMethod(result);
    }
    std::vector<std::string> TakeBreaches() override { return standIn_.TakeBreaches(); }

  private:
    std::unique_ptr<JniStandIn> owned_;
    JniStandIn& standIn_;
};
