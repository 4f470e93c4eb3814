// The analog front end that digitises the sensor signal. Its registers are
// written through the controller, which owns the serial link.
#pragma once

class CalibrationFile;
class Controller;

class AnalogFrontEnd {
public:
    explicit AnalogFrontEnd(Controller* controller = nullptr) : controller_(controller) {}
    virtual ~AnalogFrontEnd() = default;
    AnalogFrontEnd(const AnalogFrontEnd&) = delete;
    AnalogFrontEnd& operator=(const AnalogFrontEnd&) = delete;

    void SetController(Controller* controller) { controller_ = controller; }
    Controller* GetController() const { return controller_; }

    virtual bool WriteAllRegisters() = 0;
    // Channels 0..2 colour, 3 gray.
    virtual void SetOffset(int channel, int value) = 0;
    virtual int GetOffset(int channel) = 0;
    virtual int GetOffsetMin() = 0;
    virtual int GetOffsetMax() = 0;
    virtual void SetGain(int channel, float gain) = 0;
    virtual float GetGain(int channel) = 0;
    virtual float GetGainMin() = 0;
    virtual float GetGainMax() = 0;
    virtual void SetReferenceVoltage(int /*code*/) {}
    virtual int GetReferenceVoltage() { return 0; }
    virtual int GetReferenceVoltageMin() = 0;
    virtual int GetReferenceVoltageMax() = 0;
    virtual void SetChannelMode(bool /*colour*/, int /*channel*/) {}
    // Writes or reads the front end's block of the calibration file.
    virtual bool CalibrationData(CalibrationFile* file, bool write) = 0;

protected:
    Controller* controller_;
};
