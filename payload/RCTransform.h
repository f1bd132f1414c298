// RCTransform: one stage of a stream's transform chain. Each step (Process)
// takes one piece of input and hands back all of the output it makes, held
// in a growable buffer that the stage owns until its next step.
//
// A stage is linked to at most one stream, its owner, which it does not own.
// The two keep each other informed through Notify:
//   code 0 from a stream: the stage is attached to the sender, or detached
//          when the sender is null;
//   code 1 from a stream: that stream is going away; the stage is not ended.
// A stage that is destroyed while attached sends its owner code 0 with
// itself as sender, so the stream forgets it.
#pragma once
#include <cstdint>
#include <memory>

#include "support/RCRoot.h"

class RCTransform : public RCRoot {
public:
    // growStep: headroom added whenever the output buffer grows; a negative
    // value counts as 0.
    explicit RCTransform(int32_t growStep);
    ~RCTransform() override;
    RCTransform(const RCTransform&) = delete;
    RCTransform& operator=(const RCTransform&) = delete;

    // Code 0: owner becomes sender (null detaches). Code 1: owner becomes
    // null. Other codes do nothing. Always 0.
    int32_t Notify(RCRoot* sender, int32_t code, int32_t value, int32_t extra) override;

    // Prepares a fresh run; false when it cannot (or has already begun).
    virtual bool Begin() = 0;
    // One step: transforms inputLength bytes at input and sets *outData and
    // *outLength to the whole output of the step, which stays valid until
    // the stage's next step, ClearOutput or destruction. False when the
    // step failed; its output is then not handed out.
    virtual bool Process(const uint8_t* input, int32_t inputLength, const uint8_t** outData,
                         int32_t* outLength) = 0;
    // Ends the run; doing nothing when it has not begun.
    virtual bool End() = 0;

    // Releases the output buffer. Always true.
    bool ClearOutput();
    // Adds count bytes behind the output held and returns the new length.
    // A count of 0 or less adds nothing; -1 when the length would no longer
    // fit in 31 bits (nothing is added then).
    int32_t AppendOutput(const uint8_t* bytes, int32_t count);

    const uint8_t* OutputData() const { return outData_.get(); }
    int32_t OutputLength() const { return outLength_; }
    int32_t OutputCapacity() const { return outCapacity_; }
    int32_t GrowStep() const { return growStep_; }
    RCRoot* Owner() const { return owner_; }

protected:
    // Empties the output but keeps its memory for the next step.
    void ResetOutput() { outLength_ = 0; }
    // Room for count more bytes behind the output held, grown as
    // AppendOutput grows it; null when the length would no longer fit in 31
    // bits. What is written there counts once CommitOutput says how much.
    uint8_t* ReserveOutput(int32_t count);
    void CommitOutput(int32_t count) { outLength_ += count; }

private:
    std::unique_ptr<uint8_t[]> outData_;
    int32_t outCapacity_ = 0;
    const int32_t growStep_;
    int32_t outLength_ = 0;
    RCRoot* owner_ = nullptr; // not owned
};
