#include "ppmd_model.h"

namespace tarrow::ppmd {

namespace {

constexpr unsigned kMaxFreq = 124;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kIntBits = 7;
constexpr unsigned kBinScale = 1 << (kIntBits + kPeriodBits);
constexpr unsigned kMaxChain = 256;  // contexts on one suffix path; the order bounds it far lower

constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

unsigned mean(unsigned prob) { return (prob + (1 << (kPeriodBits - 2))) >> kPeriodBits; }

}  // namespace

bool RangeDecoder::pull() {
    auto run = source_.next();
    in_ = run.data();
    end_ = in_ + run.size();
    return !run.empty();
}

bool RangeDecoder::init() {
    low_ = 0;
    range_ = 0xFFFFFFFF;
    code_ = 0;
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | readByte();
    return overrun_ == 0 && code_ < 0xFFFFFFFF;
}

void Model::init(unsigned maxOrder, Restore restore) {
    maxOrder_ = maxOrder;
    restore_ = restore;
    // Buckets of the binary and SEE statistics by number of states or frequency: one value each up to
    // four, then ever wider.
    ns2BSIndex_[0] = 0;
    ns2BSIndex_[1] = 2;
    std::memset(ns2BSIndex_ + 2, 4, 9);
    std::memset(ns2BSIndex_ + 11, 6, 256 - 11);
    unsigned i = 0;
    for (; i < 5; ++i) ns2Index_[i] = uint8_t(i);
    for (unsigned m = i, k = 1; i < 260; ++i) {
        ns2Index_[i] = uint8_t(m);
        if (--k == 0) k = ++m - 4;
    }
    initEsc_ = 0;
    broken_ = false;
    restartModel();
    dummySee_.shift = kPeriodBits;
    dummySee_.summ = 0;
    dummySee_.count = 64;
}

void Model::restartModel() {
    heap_.reset();
    orderFall_ = maxOrder_;
    runLength_ = initRunLength_ = -int32_t(maxOrder_ < 12 ? maxOrder_ : 12) - 1;
    prevSuccess_ = 0;

    // The root context: all 256 symbols, once each.
    heap_.hiUnit -= kUnitSize;
    minContext_ = maxContext_ = heap_.hiUnit;
    setSuffix(minContext_, 0);
    numStats(minContext_) = 255;
    flags(minContext_) = 0;
    setSummFreq(minContext_, 256 + 1);
    foundState_ = heap_.loUnit;
    heap_.loUnit += 256 / 2 * kUnitSize;
    setStats(minContext_, foundState_);
    for (unsigned i = 0; i < 256; ++i) {
        Ref s = foundState_ + i * kStateSize;
        symbol(s) = uint8_t(i);
        freq(s) = 1;
        setSuccessor(s, 0);
    }

    for (unsigned i = 0, m = 0; m < 25; ++m) {
        while (ns2Index_[i] == m) ++i;
        for (unsigned k = 0; k < 8; ++k) {
            uint16_t v = uint16_t(kBinScale - kInitBinEsc[k] / (i + 1));
            for (unsigned r = 0; r < 64; r += 8) binSumm_[m][k + r] = v;
        }
    }
    for (unsigned i = 0, m = 0; m < 24; ++m) {
        while (ns2Index_[i + 3] == m + 3) ++i;
        for (unsigned k = 0; k < 32; ++k) {
            See& s = see_[m][k];
            s.shift = kPeriodBits - 4;
            s.summ = uint16_t((2 * i + 5) << s.shift);
            s.count = 7;
        }
    }
}

// Halves the frequencies of the context being updated (the found state moves to the front), keeps the
// states sorted and drops those that reach zero.
void Model::rescale() {
    const Ref mc = minContext_;
    const Ref first = stats(mc);
    Ref s = foundState_;
    if (s != first) {
        uint8_t tmp[kStateSize];
        std::memcpy(tmp, at(s), kStateSize);
        for (; s != first; s -= kStateSize) copyState(s, s - kStateSize);
        std::memcpy(at(s), tmp, kStateSize);
    }
    unsigned escFreq = summFreq(mc) - freq(s);
    freq(s) += 4;
    const unsigned adder = orderFall_ != 0;
    freq(s) = uint8_t((freq(s) + adder) >> 1);
    unsigned sumFreq = freq(s);

    unsigned i = numStats(mc);
    do {
        s += kStateSize;
        escFreq -= freq(s);
        freq(s) = uint8_t((freq(s) + adder) >> 1);
        sumFreq += freq(s);
        if (freq(s) > freq(s - kStateSize)) {
            uint8_t tmp[kStateSize];
            std::memcpy(tmp, at(s), kStateSize);
            Ref s1 = s;
            do copyState(s1, s1 - kStateSize);
            while ((s1 -= kStateSize) != first && tmp[1] > freq(s1 - kStateSize));
            std::memcpy(at(s1), tmp, kStateSize);
        }
    } while (--i);

    if (freq(s) == 0) {
        const unsigned oldStats = numStats(mc);
        i = 0;
        do ++i;
        while (freq(s -= kStateSize) == 0);
        escFreq += i;
        numStats(mc) = uint8_t(oldStats - i);
        if (numStats(mc) == 0) {
            uint8_t tmp[kStateSize];
            std::memcpy(tmp, at(first), kStateSize);
            unsigned f = (2 * tmp[1] + escFreq - 1) / escFreq;
            tmp[1] = uint8_t(f > kMaxFreq / 3 ? kMaxFreq / 3 : f);
            heap_.insertNode(first, heap_.indexOf((oldStats + 2) >> 1));
            flags(mc) = uint8_t((flags(mc) & 0x10) + highFlag(tmp[0]));
            foundState_ = oneState(mc);
            std::memcpy(at(foundState_), tmp, kStateSize);
            return;
        }
        const unsigned n0 = (oldStats + 2) >> 1, n1 = (numStats(mc) + 2) >> 1;
        if (n0 != n1) setStats(mc, heap_.shrinkUnits(first, n0, n1));
        uint8_t f = uint8_t(flags(mc) & ~0x08);
        s = stats(mc);
        f |= highFlag(symbol(s));
        i = numStats(mc);
        do f |= highFlag(symbol(s += kStateSize));
        while (--i);
        flags(mc) = f;
    }
    setSummFreq(mc, sumFreq + escFreq - (escFreq >> 1));
    flags(mc) |= 0x04;
    foundState_ = stats(mc);
}

// After the states of a context were cut: moves them into a block of the right size and, with scale 1,
// halves their frequencies.
void Model::refresh(Ref c, unsigned oldUnits, unsigned scale) {
    unsigned i = numStats(c);
    Ref s = heap_.shrinkUnits(stats(c), oldUnits, (i + 2) >> 1);
    setStats(c, s);
    unsigned f = (flags(c) & (0x10 + 0x04 * scale)) + highFlag(symbol(s));
    unsigned escFreq = summFreq(c) - freq(s);
    unsigned sumFreq = freq(s) = uint8_t((freq(s) + scale) >> scale);
    do {
        s += kStateSize;
        escFreq -= freq(s);
        sumFreq += freq(s) = uint8_t((freq(s) + scale) >> scale);
        f |= highFlag(symbol(s));
    } while (--i);
    setSummFreq(c, sumFreq + ((escFreq + scale) >> scale));
    flags(c) = uint8_t(f);
}

// Removes, below context c of the given order, every state whose successor is no context and every
// context deeper than the model order; returns c, or 0 when c itself went.
Ref Model::cutOff(Ref c, unsigned order) {
    if (numStats(c) == 0) {
        Ref s = oneState(c);
        if (successor(s) >= heap_.unitsStart) {
            setSuccessor(s, order < maxOrder_ ? cutOff(successor(s), order + 1) : 0);
            if (successor(s) || order <= 9) return c;
        }
        heap_.specialFreeUnit(c);
        return 0;
    }
    const unsigned units = (numStats(c) + 2) >> 1;
    setStats(c, heap_.moveUnitsUp(stats(c), units));
    int i = numStats(c);
    for (int k = i; k >= 0; --k) {
        Ref s = stats(c) + unsigned(k) * kStateSize;
        if (successor(s) < heap_.unitsStart) {
            Ref s2 = stats(c) + unsigned(i--) * kStateSize;
            setSuccessor(s, 0);
            swapStates(s, s2);
        } else {
            setSuccessor(s, order < maxOrder_ ? cutOff(successor(s), order + 1) : 0);
        }
    }
    if (i != numStats(c) && order) {
        numStats(c) = uint8_t(i);
        Ref s = stats(c);
        if (i < 0) {
            heap_.freeUnits(s, units);
            heap_.specialFreeUnit(c);
            return 0;
        }
        if (i == 0) {
            flags(c) = uint8_t((flags(c) & 0x10) + highFlag(symbol(s)));
            copyState(oneState(c), s);
            heap_.freeUnits(s, units);
            freq(oneState(c)) = uint8_t((freq(oneState(c)) + 11) >> 3);
        } else {
            refresh(c, units, summFreq(c) > 16 * unsigned(i));
        }
    }
    return c;
}

// The memory ran out while the contexts from the longest one down to c1 were being updated: undoes the
// states added so far, then restarts the model or cuts it down to three quarters of the memory.
void Model::restoreModel(Ref c1) {
    heap_.text = heap_.alignOffset;
    Ref c = maxContext_;
    for (; c != c1; c = suffix(c)) {
        if (--numStats(c) == 0) {
            Ref s = stats(c);
            flags(c) = uint8_t((flags(c) & 0x10) + highFlag(symbol(s)));
            copyState(oneState(c), s);
            heap_.specialFreeUnit(s);
            freq(oneState(c)) = uint8_t((freq(oneState(c)) + 11) >> 3);
        } else {
            refresh(c, (numStats(c) + 3) >> 1, 0);
        }
    }
    for (; c != minContext_; c = suffix(c)) {
        if (numStats(c) == 0) {
            freq(oneState(c)) -= freq(oneState(c)) >> 1;
        } else {
            setSummFreq(c, summFreq(c) + 4);
            if (summFreq(c) > 128 + 4 * unsigned(numStats(c))) refresh(c, (numStats(c) + 2) >> 1, 1);
        }
    }
    if (restore_ == Restore::Restart || heap_.usedMemory() < (heap_.size() >> 1)) {
        restartModel();
    } else {
        while (suffix(maxContext_)) maxContext_ = suffix(maxContext_);
        do {
            cutOff(maxContext_, 0);
            heap_.expandTextArea();
        } while (heap_.usedMemory() > 3 * (heap_.size() >> 2));
        heap_.glueCount = 0;
        orderFall_ = maxOrder_;
    }
    minContext_ = maxContext_;
}

// Gives the found symbol a context of one state in each suffix of c up to where one exists already.
// s1, when set, is the state of the symbol in c's suffix. Returns the deepest new context, 0 when
// memory ran out.
Ref Model::createSuccessors(bool skip, Ref s1, Ref c) {
    const Ref upBranch = successor(foundState_);
    const uint8_t fSymbol = symbol(foundState_);
    Ref ps[kMaxChain];
    unsigned numPs = 0;
    if (!skip) ps[numPs++] = foundState_;

    while (suffix(c)) {
        c = suffix(c);
        Ref s;
        if (s1) {
            s = s1;
            s1 = 0;
        } else if (numStats(c) != 0) {
            s = findState(c, fSymbol);
            if (freq(s) < kMaxFreq - 9) {
                ++freq(s);
                setSummFreq(c, summFreq(c) + 1);
            }
        } else {
            s = oneState(c);
            freq(s) += (numStats(suffix(c)) == 0) & (freq(s) < 24);
        }
        Ref next = successor(s);
        if (next != upBranch) {
            c = next;
            break;
        }
        if (numPs == kMaxChain) return 0;
        ps[numPs++] = s;
    }
    if (numPs == 0) return c;

    // The new contexts predict the symbol that followed in the text.
    const uint8_t upSymbol = *at(upBranch);
    const uint8_t newFlags = uint8_t((fSymbol >= 0x40 ? 0x10 : 0) + highFlag(upSymbol));
    unsigned upFreq;
    if (numStats(c) == 0) {
        upFreq = freq(oneState(c));
    } else {
        Ref s = findState(c, upSymbol);
        unsigned cf = freq(s) - 1;
        unsigned s0 = summFreq(c) - numStats(c) - cf;
        upFreq = 1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0));
    }
    do {
        Ref c1 = heap_.allocContext();
        if (!c1) return 0;
        numStats(c1) = 0;
        flags(c1) = newFlags;
        Ref one = oneState(c1);
        symbol(one) = upSymbol;
        freq(one) = uint8_t(upFreq);
        setSuccessor(one, upBranch + 1);
        setSuffix(c1, c);
        setSuccessor(ps[--numPs], c1);
        c = c1;
    } while (numPs != 0);
    return c;
}

// The found state has no successor: points it, and the states of the symbol in the suffixes that have
// none either, at the text, then gives the first suffix state with a successor a real context.
Ref Model::reduceOrder(Ref s1, Ref c) {
    const Ref c1 = c;
    const Ref upBranch = heap_.text;
    const uint8_t fSymbol = symbol(foundState_);
    setSuccessor(foundState_, upBranch);
    ++orderFall_;
    Ref s = 0;
    for (;;) {
        if (s1) {
            c = suffix(c);
            s = s1;
            s1 = 0;
        } else {
            if (!suffix(c)) return c;
            c = suffix(c);
            if (numStats(c)) {
                s = findState(c, fSymbol);
                if (freq(s) < kMaxFreq - 9) {
                    freq(s) += 2;
                    setSummFreq(c, summFreq(c) + 2);
                }
            } else {
                s = oneState(c);
                freq(s) += freq(s) < 32;
            }
        }
        if (successor(s)) break;
        setSuccessor(s, upBranch);
        ++orderFall_;
    }
    if (successor(s) <= upBranch) {
        const Ref saved = foundState_;
        foundState_ = s;
        setSuccessor(s, createSuccessors(false, 0, c));
        foundState_ = saved;
    }
    if (orderFall_ == 1 && c1 == maxContext_) {
        setSuccessor(foundState_, successor(s));
        --heap_.text;
    }
    return successor(s);
}

void Model::updateModel() {
    const Ref fs = foundState_;
    Ref fSuccessor = successor(fs);
    const unsigned fFreq = freq(fs);
    const uint8_t fSymbol = symbol(fs);
    Ref s = 0;

    // The symbol gains in the suffix context too.
    if (fFreq < kMaxFreq / 4 && suffix(minContext_) != 0) {
        Ref c = suffix(minContext_);
        if (numStats(c) == 0) {
            s = oneState(c);
            if (freq(s) < 32) ++freq(s);
        } else {
            s = findState(c, fSymbol);
            if (s != stats(c)) {
                if (freq(s) >= freq(s - kStateSize)) {
                    swapStates(s, s - kStateSize);
                    s -= kStateSize;
                }
            }
            if (freq(s) < kMaxFreq - 9) {
                freq(s) += 2;
                setSummFreq(c, summFreq(c) + 2);
            }
        }
    }

    Ref c = maxContext_;
    if (orderFall_ == 0 && fSuccessor) {
        Ref cs = createSuccessors(true, s, minContext_);
        if (!cs) {
            setSuccessor(fs, 0);
            restoreModel(c);
        } else {
            setSuccessor(fs, cs);
            maxContext_ = cs;
        }
        return;
    }

    *at(heap_.text++) = fSymbol;
    Ref next = heap_.text;
    if (heap_.text >= heap_.unitsStart) {
        restoreModel(c);
        return;
    }
    if (!fSuccessor) {
        Ref cs = reduceOrder(s, minContext_);
        if (!cs) {
            restoreModel(c);
            return;
        }
        fSuccessor = cs;
    } else if (fSuccessor < heap_.unitsStart) {
        Ref cs = createSuccessors(false, s, minContext_);
        if (!cs) {
            restoreModel(c);
            return;
        }
        fSuccessor = cs;
    }
    if (--orderFall_ == 0) {
        next = fSuccessor;
        heap_.text -= maxContext_ != minContext_;
    }

    // Every context from the longest down to the one that predicted the symbol learns it.
    const unsigned ns = numStats(minContext_);
    const unsigned s0 = summFreq(minContext_) - ns - fFreq;
    const uint8_t flag = highFlag(fSymbol);
    for (; c != minContext_; c = suffix(c)) {
        const unsigned ns1 = numStats(c);
        if (ns1 != 0) {
            if (ns1 & 1) {
                // The states fill their block: one unit more.
                const unsigned oldUnits = (ns1 + 1) >> 1;
                const unsigned i = heap_.indexOf(oldUnits);
                if (i != heap_.indexOf(oldUnits + 1)) {
                    Ref block = heap_.allocUnits(i + 1);
                    if (!block) {
                        restoreModel(c);
                        return;
                    }
                    Ref old = stats(c);
                    std::memcpy(at(block), at(old), oldUnits * kUnitSize);
                    heap_.insertNode(old, i);
                    setStats(c, block);
                }
            }
            setSummFreq(c, summFreq(c) + (3 * ns1 + 1 < ns));
        } else {
            Ref s2 = heap_.allocUnits(0);
            if (!s2) {
                restoreModel(c);
                return;
            }
            copyState(s2, oneState(c));
            setStats(c, s2);
            freq(s2) = freq(s2) < kMaxFreq / 4 - 1 ? uint8_t(freq(s2) << 1) : uint8_t(kMaxFreq - 4);
            setSummFreq(c, freq(s2) + initEsc_ + (ns > 2));
        }
        uint32_t cf = 2 * fFreq * (summFreq(c) + 6);
        const uint32_t sf = s0 + summFreq(c);
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf) + (cf >= 4 * sf);
            setSummFreq(c, summFreq(c) + 4);
        } else {
            cf = 4 + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
            setSummFreq(c, summFreq(c) + cf);
        }
        Ref s2 = stats(c) + (ns1 + 1) * kStateSize;
        setSuccessor(s2, next);
        symbol(s2) = fSymbol;
        freq(s2) = uint8_t(cf);
        flags(c) |= flag;
        numStats(c) = uint8_t(ns1 + 1);
    }
    maxContext_ = minContext_ = fSuccessor;
}

void Model::nextContext() {
    Ref c = successor(foundState_);
    if (orderFall_ == 0 && c >= heap_.unitsStart) {
        minContext_ = maxContext_ = c;
    } else {
        updateModel();
        minContext_ = maxContext_;
    }
}

void Model::update1() {
    Ref s = foundState_;
    freq(s) += 4;
    setSummFreq(minContext_, summFreq(minContext_) + 4);
    if (freq(s) > freq(s - kStateSize)) {
        swapStates(s, s - kStateSize);
        foundState_ = s -= kStateSize;
        if (freq(s) > kMaxFreq) rescale();
    }
    nextContext();
}

void Model::update1First() {
    prevSuccess_ = 2 * freq(foundState_) >= summFreq(minContext_);
    runLength_ += int32_t(prevSuccess_);
    setSummFreq(minContext_, summFreq(minContext_) + 4);
    if ((freq(foundState_) += 4) > kMaxFreq) rescale();
    nextContext();
}

void Model::update2() {
    setSummFreq(minContext_, summFreq(minContext_) + 4);
    if ((freq(foundState_) += 4) > kMaxFreq) rescale();
    runLength_ = initRunLength_;
    updateModel();
    minContext_ = maxContext_;
}

void Model::updateBinary() {
    freq(foundState_) += freq(foundState_) < 196;
    prevSuccess_ = 1;
    ++runLength_;
    nextContext();
}

Model::See* Model::makeEscFreq(unsigned numMasked, uint32_t& escFreq) {
    const Ref mc = minContext_;
    const unsigned ns = numStats(mc);
    if (ns == 0xFF) {
        escFreq = 1;
        return &dummySee_;
    }
    See* see =
        &see_[ns2Index_[ns + 2] - 3][(summFreq(mc) > 11 * (ns + 1)) +
                                     2 * (2 * ns < unsigned(numStats(suffix(mc))) + numMasked) + (flags(mc) & 0x1C)];
    unsigned r = see->summ >> see->shift;
    see->summ = uint16_t(see->summ - r);
    escFreq = r + (r == 0);
    return see;
}

Ref Model::findState(Ref c, uint8_t sym) {
    const Ref first = stats(c);
    Ref s = first;
    for (unsigned n = numStats(c); symbol(s) != sym; s += kStateSize)
        if (n-- == 0) {
            // A suffix always holds the symbols of the contexts below it; if not, the model is broken
            // and decoding stops at the next symbol.
            broken_ = true;
            return first;
        }
    return s;
}

int Model::decodeSymbol(RangeDecoder& rc) {
    if (broken_) return -2;
    uint8_t mask[256];
    Ref mc = minContext_;
    if (numStats(mc) != 0) {
        Ref s = stats(mc);
        const uint32_t total = summFreq(mc);
        const uint32_t count = rc.threshold(total);
        uint32_t hiCnt = freq(s);
        if (count < hiCnt) {
            rc.decode(0, hiCnt);
            foundState_ = s;
            const int sym = symbol(s);
            update1First();
            return sym;
        }
        prevSuccess_ = 0;
        unsigned i = numStats(mc);
        do {
            s += kStateSize;
            if ((hiCnt += freq(s)) > count) {
                rc.decode(hiCnt - freq(s), freq(s));
                foundState_ = s;
                const int sym = symbol(s);
                update1();
                return sym;
            }
        } while (--i);
        if (count >= total) return -2;
        rc.decode(hiCnt, total - hiCnt);
        std::memset(mask, 0xFF, sizeof mask);
        mask[symbol(s)] = 0;
        i = numStats(mc);
        do mask[symbol(s -= kStateSize)] = 0;
        while (--i);
    } else {
        const Ref s = oneState(mc);
        uint16_t& prob = binSumm_[ns2Index_[freq(s) - 1]][ns2BSIndex_[numStats(suffix(mc))] + prevSuccess_ +
                                                          (flags(mc) & 0x18) + ((runLength_ >> 26) & 0x20)];
        if (rc.binaryThreshold() < prob) {
            rc.decode(0, prob);
            prob = uint16_t(prob + (1 << kIntBits) - mean(prob));
            foundState_ = s;
            const int sym = symbol(s);
            updateBinary();
            return sym;
        }
        rc.decode(prob, kBinScale - prob);
        prob = uint16_t(prob - mean(prob));
        initEsc_ = kExpEscape[prob >> 10];
        std::memset(mask, 0xFF, sizeof mask);
        mask[symbol(s)] = 0;
        prevSuccess_ = 0;
    }

    for (;;) {
        Ref ps[256];
        const unsigned numMasked = numStats(mc);
        do {
            ++orderFall_;
            if (!suffix(mc)) return -1;
            mc = suffix(mc);
        } while (numStats(mc) == numMasked);
        minContext_ = mc;

        // The symbols not yet excluded, and their total frequency.
        const unsigned wanted = numStats(mc) - numMasked;
        unsigned n = 0;
        uint32_t hiCnt = 0;
        Ref s = stats(mc);
        for (unsigned k = 0; k <= numStats(mc) && n != wanted; ++k, s += kStateSize) {
            if (mask[symbol(s)]) {
                ps[n++] = s;
                hiCnt += freq(s);
            }
        }
        if (n != wanted) return -2;  // the suffix lacks symbols its child has: a broken model

        uint32_t freqSum;
        See* see = makeEscFreq(numMasked, freqSum);
        freqSum += hiCnt;
        const uint32_t count = rc.threshold(freqSum);
        if (count < hiCnt) {
            unsigned k = 0;
            hiCnt = 0;
            while ((hiCnt += freq(ps[k])) <= count) ++k;
            s = ps[k];
            rc.decode(hiCnt - freq(s), freq(s));
            if (see->shift < kPeriodBits && --see->count == 0) {
                see->summ = uint16_t(see->summ << 1);
                see->count = uint8_t(3 << see->shift++);
            }
            foundState_ = s;
            const int sym = symbol(s);
            update2();
            return sym;
        }
        if (count >= freqSum) return -2;
        rc.decode(hiCnt, freqSum - hiCnt);
        see->summ = uint16_t(see->summ + freqSum);
        while (n) mask[symbol(ps[--n])] = 0;
    }
}

}  // namespace tarrow::ppmd
