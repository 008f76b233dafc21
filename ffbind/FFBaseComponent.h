#pragma once
// Base of the program's components: an owner reference and nothing else. The
// owner does not free its components; they are members or owned pointers.
class TFFBaseComponent {
public:
    explicit TFFBaseComponent(void* owner = nullptr) : owner_(owner) {}
    virtual ~TFFBaseComponent() = default;
    TFFBaseComponent(const TFFBaseComponent&) = delete;
    TFFBaseComponent& operator=(const TFFBaseComponent&) = delete;
    void* Owner() const { return owner_; }

private:
    void* owner_;
};
