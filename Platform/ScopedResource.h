// The holder template that agent code and the Win32 layer share: one small holder per resource,
// released when the scope that took it ends, so that every return path releases it without a
// copy of the release call. A holder is not copied; release() hands the resource over to whoever
// keeps it longer. Each side names its releasers beside its own resources (Common/ScopedResource.h
// for agent code; the layer's in its own headers), so this header includes nothing of either.
#pragma once

template <typename Resource, typename Releaser> class ScopedResource {
  public:
    ScopedResource() = default;
    explicit ScopedResource(Resource resource) : resource_(resource) {}
    ~ScopedResource() { reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    Resource get() const { return resource_; }
    bool held() const { return resource_ != Resource{}; }

    // For the Win32 calls that hand a new resource out through a pointer (RegOpenKeyExA): what
    // the holder had is released first.
    Resource* receive() {
        reset();
        return &resource_;
    }

    // Gives the resource up without releasing it.
    Resource release() {
        Resource resource = resource_;
        resource_ = Resource{};
        return resource;
    }

    void reset(Resource resource = Resource{}) {
        if (resource_ != Resource{}) {
            Releaser()(resource_);
        }
        resource_ = resource;
    }

  private:
    Resource resource_{};
};
