#pragma once
// Constraint codes in the NRZI domain: a coded bit 1 is a transition of the
// write current. The precoder in front of the channel is then 1 / (1 xor D),
// p_k = c_k xor p_{k-1}, as drives write such codes (Target::WithNrzi).
//
// Every code here is a block code of enumerated words: the first 2^m words of
// n bits, in ascending order (the first written bit the most significant), that
// obey the constraint inside and whose leading and trailing runs keep every
// junction inside it too. Its j (the longest run of transitions) and k (the
// longest run without one, which the timing loop needs) follow from the words.
//
// - mtr2-4/5: maximum transition run j = 2; at most one 1 at either end of a
//   word, at most four 0s; 16 of the 17 such words, k = 8.
// - mtr2-6/7: no such block code: at most 57 seven-bit words with no run of
//   three 1s join freely (the leading and trailing 1s of two words may add up
//   to 2 at most), fewer than 64. Named so that it is refused with the count.
// - tvmtr-8/9: time-varying MTR: a run of three transitions may start only at
//   the odd positions 1, 3, 5, 7 of the 9-bit word (counted from 0), no run
//   of four; at most one leading 1 and two trailing ones (a run 2 + 1 across
//   a junction starts at position 7), at most five leading and six trailing
//   0s: 256 of 258 words, k = 11.
// - rll-16/17: run-length limited only: at most two 0s at either end of a
//   word and four inside, k = 4, no bound on transitions.
#include <cstdint>
#include <string>
#include <vector>

namespace channel {

enum class ConstraintKind { kNone, kMtr45, kMtr67, kTvmtr89, kRll1617 };

struct ConstraintRow {
    ConstraintKind kind;
    const char* name; // on the command line and in CSV: "mtr2-4/5"
    const char* help; // one line
    int userBits;     // m
    int codeBits;     // n
    // The run of transitions: at most maxOnes in a row (0: unbounded); with
    // oddStart, a run of exactly maxOnes may start only at an odd position of
    // the word (0-based).
    int maxOnes;
    bool oddStart;
    // The words' ends: at most leadOnes / trailOnes 1s and leadZeros /
    // trailZeros 0s, and no run of more than leadZeros + trailZeros 0s inside.
    int leadOnes, trailOnes, leadZeros, trailZeros;
};

// Every row, in the order the lab shows them; none first.
const std::vector<ConstraintRow>& Constraints();
const ConstraintRow& ConstraintOf(ConstraintKind kind);
// The row of a name, or null.
const ConstraintRow* FindConstraint(const std::string& name);
// "none, mtr2-4/5, ..." for help lines.
std::string ConstraintNames();

// Whether a run of `run` transitions ending at a bit at `phase` of its word
// (the run's bits phase - run + 1 ... phase, counted over word boundaries)
// is allowed; run >= 1.
bool RunAllowed(const ConstraintRow& row, int phase, int run);

// The code of a row, built once and shared (thread-safe).
class ConstraintCode {
  public:
    explicit ConstraintCode(const ConstraintRow& row);
    static const ConstraintCode& Of(ConstraintKind kind);

    const ConstraintRow& row() const { return row_; }
    bool IsNone() const { return row_.kind == ConstraintKind::kNone; }
    // A block code of this row exists; otherwise why not (one line).
    bool Exists() const { return why_.empty(); }
    const std::string& WhyNot() const { return why_; }
    int UserBits() const { return row_.userBits; }
    int CodeBits() const { return row_.codeBits; }
    double Rate() const { return double(row_.userBits) / row_.codeBits; }
    // The words, indexed by their user bits.
    const std::vector<std::uint32_t>& Words() const { return words_; }
    // Freely joinable words (before the first 2^m are taken).
    int Candidates() const { return candidates_; }
    // j and k of the coded stream, over the words and their junctions (j 0:
    // unbounded).
    int J() const { return j_; }
    int K() const { return k_; }
    // The Shannon capacity of the (j, k) constraint the stream obeys (with the
    // time-varying rule), bits per coded bit, and the rate's share of it.
    double Capacity() const { return capacity_; }
    double Efficiency() const { return capacity_ > 0 ? Rate() / capacity_ : 0.0; }

    // `words` words: m user bits each in, n coded bits each out (0/1 bytes).
    void Encode(const std::uint8_t* user, int words, std::uint8_t* coded) const;
    // The inverse; a coded word that is no code word decodes as the word one
    // bit away that is (the first such bit from the word's start), else as 0.
    void Decode(const std::uint8_t* coded, int words, std::uint8_t* user) const;

    // Whether a coded stream (starting at a word's start, after a run of 0s)
    // has no run of transitions the row forbids and no run of more than K() 0s.
    bool Obeys(const std::uint8_t* coded, int n) const;

  private:
    ConstraintRow row_;
    std::string why_;
    std::vector<std::uint32_t> words_;
    std::vector<std::int32_t> inverse_; // [2^n]: user bits of a coded word
    int candidates_ = 0;
    int j_ = 0, k_ = 0;
    double capacity_ = 1;
};

// The Shannon capacity of a (j, k) constraint with the row's time-varying
// rule: log2 of the largest eigenvalue of the constraint graph's adjacency
// matrix (states: the position in the word, the current run of 1s or of 0s),
// per coded bit. maxZeros 0: unbounded.
double ConstraintCapacity(const ConstraintRow& row, int maxZeros);

// The constrained trellis of a target of memory nu: the memory it needs
// (the constraint looks at maxOnes + 1 transitions, maxOnes + 2 precoder
// bits; more than nu + 1 widens the state), and which branches it keeps.
struct BranchMask {
    int memory = 0;
    int period = 1;                    // steps until the rule repeats
    std::vector<std::uint8_t> allowed; // [phase * 2^(memory+1) + window]
    // The branch `window` (the trellis's (b << memory) | s of precoder bits
    // under NRZI) at step k of a frame of `bits` bits: the tail is free.
    bool Allowed(int k, int bits, int window) const {
        if (k >= bits || allowed.empty()) return true;
        return allowed[static_cast<std::size_t>((k % period) << (memory + 1)) +
                       static_cast<std::size_t>(window)] != 0;
    }
};
int ConstrainedMemory(const ConstraintRow& row, int nu);
BranchMask MaskOf(const ConstraintRow& row, int memory);

} // namespace channel
