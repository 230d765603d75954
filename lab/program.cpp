// quorvane-lab's commands on the command line: the read channel's data
// coming back out. Noise, the detectors, their error events and their error
// rates, the eye and the targets.
#include "lab/program.h"

#include <cstdio>
#include <string>
#include <vector>

#include "channel/target.h"
#include "choices/channel.h"

namespace lab {

const char* const kSummary =
    "quorvane-lab: recover the data of a partial-response read channel (E3PR4, the\n"
    "window's, or any other target, on the ideal channel or behind a read head at a user\n"
    "density with jitter, an equalizer and a timing loop) from noisy samples with a slicer,\n"
    "a Viterbi detector, a noise-predictive one and soft-output detectors; list the error\n"
    "events, measure and draw the detectors' bit-error rates and their ratios' worth, draw\n"
    "the eye diagram, find the target for a density, and measure the sector failure rate of\n"
    "an iterative LDPC channel against Reed-Solomon; or watch it live in the lab window\n"
    "(quorvane-lab gui).";

namespace {

const char* const kModel =
    R"(Run quorvane-lab COMMAND --help for what a command does, its options and defaults.

The model:
  target   f0 + f1 D + ... + fnu D^nu, memory nu 1 ... 6, chosen with --target NAME|LIST:
@TARGETS@           or a list of 2 to 7 coefficients, integers or not (1,2,1 or 1,0.8,-0.3).
  data     Frames of random raw bits, each from an all-zero history like the window's
           40-bit blocks, through the target's parity precoder 1/(f mod 2) over GF(2)
           (on E3PR4 the window's 1/(1 + D + D^4 + D^5)) and the target on the
           precoder output p: the ideal samples are the levels f0 p[k] + ... + fnu p[k-nu].
           A target whose f mod 2 has no constant term, or that is not integer, gets no
           precoder (its raw bits are written as they are) and no slicer.
  tail     After each frame the channel writes nu zero precoder bits (--tail zero, the
           default): their samples follow the frame's, so every bit is decided with the
           samples that follow it, and the detector ends in state 0. --tail none stops
           the frame at its last bit, whose decision then lacks those samples: at high
           SNR the last bits of a frame make most of its errors.
  noise    White Gaussian, deviation sigma per sample, in level units. SNR is quoted as
           10 log10(E / sigma^2) dB, E the sum of the squared target coefficients (28 on
           E3PR4); sigma is always printed beside it. ber --noise-stream lanes draws it
           from eight generators side by side, a stream of its own (default: one);
           lanes16 from sixteen 32-bit lanes, float deviates, another stream.
@RECORDING@
@TIMING@
  adc      ber --adc-bits B: a converter of B bits, uniform over the target's levels lo
           ... hi with every level on a code, m = floor((2^B - 1) / (hi - lo)) codes a
           level step; a sample goes to the nearest code (halfway up), clamped. On a head
           it takes the equalizer's output, the detector's input word. The Viterbi
           detector then adds squared distances in codes, whole numbers: exactly the
           maximum-likelihood sequence of the quantized samples.
  slicer   The nearest level, clamped to the lowest and highest; raw bit = level mod 2.
           The precoder makes a noise-free sample's parity its raw bit, so a wrong level
           costs one bit, with no error propagation.
  viterbi  2^nu states (the last nu precoder bits), branch metric (y - ideal)^2, start
           in the zero state, end in the zero state after the tail (or in the best
           state without one): the maximum-likelihood sequence of the whole frame. Then
           the inverse precoder. On E3PR4 its nearest error event, +-+ on the precoder
           bits, has d^2 = 12 against the slicer's level spacing 1: about 10.8 dB better
           at high SNR, and with the tail the measured rate meets the union bound.
  errors   Counted on the raw bits, the data a user stored.
  repeats  The same seed gives the same counts for any number of threads: the work is
           cut into fixed chunks, each with its own random stream derived from the seed
           and the chunk number.

Exit status: 0 done, 1 a file could not be written (or a process of an MPI run was
lost: then nothing is written), 2 a bad command line, 130 stopped by Ctrl-C, 143 by
SIGTERM (what was finished is still printed and written; no partial file is left).
A file name "-" means standard output.)";

} // namespace

// The model's text with the named targets in it.
std::string ModelText() {
    std::string text = kModel;
    std::string names;
    for (const std::string& line : channel::Target::NamedList()) {
        const std::size_t space = line.find(' ');
        std::string name = line.substr(0, space);
        name.resize(7, ' ');
        names += "           " + name + line.substr(space + 1) + "\n";
    }
    text.replace(text.find("@TARGETS@"), 9, names);
    text.replace(text.find("@RECORDING@"), 11, choices::kRecordingModel);
    text.replace(text.find("@TIMING@"), 8, choices::kTimingModel);
    return text;
}

Program::Program(CLI::App& app) {
    eventsCommand_ = AddEventsCommand(app, events_);
    detectCommand_ = AddDetectCommand(app, detect_);
    berCommand_ = AddBerCommand(app, ber_);
    eyeCommand_ = AddEyeCommand(app, eye_);
    targetsCommand_ = AddTargetsCommand(app, targets_);
    llrCommand_ = AddLlrCommand(app, llr_);
    exitCommand_ = AddExitCommand(app, exit_);
    codeCommand_ = AddCodeCommand(app, code_);
    sfrCommand_ = AddSfrCommand(app, sfr_);
    timingCommand_ = AddTimingCommand(app, timing_);
    constraintsCommand_ = AddConstraintsCommand(app, constraints_);
}

std::vector<std::string> Program::Names() {
    return {"events", "detect", "ber", "eye", "targets", "llr", "exit", "code", "sfr", "timing", "constraints"};
}

void Program::Check() {
    if (*eventsCommand_) CheckEventsOptions(events_);
    if (*detectCommand_) CheckDetectOptions(detect_);
    if (*targetsCommand_) CheckTargetsOptions(targets_);
    if (*berCommand_) CheckBerOptions(ber_);
    if (*eyeCommand_) CheckEyeOptions(eye_);
    if (*llrCommand_) CheckLlrOptions(llr_);
    if (*exitCommand_) CheckExitOptions(exit_);
    if (*codeCommand_) CheckCodeOptions(code_);
    if (*sfrCommand_) CheckSfrOptions(sfr_);
    if (*timingCommand_) CheckTimingOptions(timing_);
    if (*constraintsCommand_) CheckConstraintsOptions(constraints_);
}

bool Program::Chosen() const {
    return *eventsCommand_ || *detectCommand_ || *berCommand_ || *eyeCommand_ || *targetsCommand_ ||
           *llrCommand_ || *exitCommand_ || *codeCommand_ || *sfrCommand_ || *timingCommand_ ||
           *constraintsCommand_;
}

int Program::Run() {
    if (*eventsCommand_) return RunEvents(events_);
    if (*detectCommand_) return RunDetect(detect_);
    if (*eyeCommand_) return RunEye(eye_);
    if (*targetsCommand_) return RunTargets(targets_);
    if (*llrCommand_) return RunLlr(llr_);
    if (*exitCommand_) return RunExit(exit_);
    if (*codeCommand_) return RunCode(code_);
    if (*sfrCommand_) return RunSfr(sfr_);
    if (*timingCommand_) return RunTiming(timing_);
    if (*constraintsCommand_) return RunConstraints(constraints_);
    return RunBer(ber_);
}

} // namespace lab
