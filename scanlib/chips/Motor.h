// The stepper-motor driver chips: steps per inch of paper travel and the
// highest feed rate a model may offer.
#pragma once

class Motor {
public:
    Motor() = default;
    virtual ~Motor() = default;
    Motor(const Motor&) = delete;
    Motor& operator=(const Motor&) = delete;

    virtual float GetStepsPerInch() const = 0;
    virtual int ReservedValue() const { return 0; }
    // Inches per second.
    virtual float GetMaxFeedRate() const = 0;
};

class FAN8200D final : public Motor {
public:
    float GetStepsPerInch() const override { return 609.4f; }
    float GetMaxFeedRate() const override { return 2.75f; }
};

class FAN8200D_2 final : public Motor {
public:
    float GetStepsPerInch() const override { return 600.0f; }
    float GetMaxFeedRate() const override { return 4.0f; }
};

class L6219 final : public Motor {
public:
    float GetStepsPerInch() const override { return 600.0f; }
    float GetMaxFeedRate() const override { return 2.8205128f; }
};
