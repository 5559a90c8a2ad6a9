// The dialect's financial functions: annuities (Pmt, IPmt, PPmt, FV, PV, NPer, Rate) and
// depreciation (DDB, SLN, SYD).
//
// Annuities follow the classic sign convention, money paid out negative and money received
// positive: a loan of 1000 (pv) is repaid by negative payments. type 0 (the default) puts payments
// at the end of each period, any other value at the beginning. Every argument is required to be a
// number; Null is "Invalid use of Null".
#include "engine/FunctionsSupport.h"

#include <cmath>

namespace engine::functions {

namespace {

double optional(Call& c, int i, double fallback) {
    return c.count() > i ? c.real(i) : fallback;
}

// A result that is not a number comes from arguments outside the function's domain.
void answer(Call& c, double v) {
    if (std::isnan(v)) c.invalidArgument();
    c.setReal(v);
}

double paymentTiming(Call& c, int i) {
    return optional(c, i, 0) != 0 ? 1.0 : 0.0;
}

// The value after nper periods of pv growing at rate, with pmt paid each period.
double futureValue(double rate, double nper, double pmt, double pv, double type) {
    if (rate == 0) return -(pv + pmt * nper);
    const double growth = std::pow(1 + rate, nper);
    return -(pv * growth + pmt * (1 + rate * type) * (growth - 1) / rate);
}

double payment(Call& c, double rate, double nper, double pv, double fv, double type) {
    if (nper == 0) c.invalidArgument();
    if (rate == 0) return -(pv + fv) / nper;
    const double growth = std::pow(1 + rate, nper);
    return -(fv + pv * growth) * rate / ((1 + rate * type) * (growth - 1));
}

// Pmt(rate, nper, pv [, fv [, type]])
void fnPmt(Call& c) {
    answer(c, payment(c, c.real(0), c.real(1), c.real(2), optional(c, 3, 0), paymentTiming(c, 4)));
}

// FV(rate, nper, pmt [, pv [, type]])
void fnFV(Call& c) {
    answer(c, futureValue(c.real(0), c.real(1), c.real(2), optional(c, 3, 0), paymentTiming(c, 4)));
}

// PV(rate, nper, pmt [, fv [, type]])
void fnPV(Call& c) {
    const double rate = c.real(0);
    const double nper = c.real(1);
    const double pmt = c.real(2);
    const double fv = optional(c, 3, 0);
    const double type = paymentTiming(c, 4);
    if (rate == 0) return answer(c, -(fv + pmt * nper));
    const double growth = std::pow(1 + rate, nper);
    answer(c, -(fv + pmt * (1 + rate * type) * (growth - 1) / rate) / growth);
}

// NPer(rate, pmt, pv [, fv [, type]])
void fnNPer(Call& c) {
    const double rate = c.real(0);
    const double pmt = c.real(1);
    const double pv = c.real(2);
    const double fv = optional(c, 3, 0);
    const double type = paymentTiming(c, 4);
    if (rate == 0) {
        if (pmt == 0) c.invalidArgument();
        return answer(c, -(pv + fv) / pmt);
    }
    if (rate <= -1) c.invalidArgument();
    const double due = pmt * (1 + rate * type);
    const double ratio = (due - fv * rate) / (due + pv * rate);
    if (!(ratio > 0) || !std::isfinite(ratio)) c.invalidArgument(); // the payments never get there
    answer(c, std::log(ratio) / std::log(1 + rate));
}

// The interest part of payment per: the balance after per - 1 payments earns the rate; with
// payments in advance the first period earns nothing.
double interestPayment(Call& c, double rate, double per, double nper, double pv, double fv, double type) {
    if (per < 1 || per > nper) c.invalidArgument();
    const double pmt = payment(c, rate, nper, pv, fv, type);
    if (per == 1) return type != 0 ? 0.0 : -pv * rate;
    if (type != 0) return (futureValue(rate, per - 2, pmt, pv, 1) - pmt) * rate;
    return futureValue(rate, per - 1, pmt, pv, 0) * rate;
}

// IPmt(rate, per, nper, pv [, fv [, type]])
void fnIPmt(Call& c) {
    answer(c, interestPayment(c, c.real(0), c.real(1), c.real(2), c.real(3), optional(c, 4, 0),
                              paymentTiming(c, 5)));
}

// PPmt(rate, per, nper, pv [, fv [, type]]): the payment less its interest.
void fnPPmt(Call& c) {
    const double rate = c.real(0);
    const double per = c.real(1);
    const double nper = c.real(2);
    const double pv = c.real(3);
    const double fv = optional(c, 4, 0);
    const double type = paymentTiming(c, 5);
    const double interest = interestPayment(c, rate, per, nper, pv, fv, type);
    answer(c, payment(c, rate, nper, pv, fv, type) - interest);
}

// Rate(nper, pmt, pv [, fv [, type [, guess]]]): the rate at which the annuity balances, found by
// Newton's method from guess (0.1 by default). As in the classic function, 20 steps must bring it
// within 0.00001 percent, or there is no answer.
void fnRate(Call& c) {
    const double nper = c.real(0);
    const double pmt = c.real(1);
    const double pv = c.real(2);
    const double fv = optional(c, 3, 0);
    const double type = paymentTiming(c, 4);
    double rate = optional(c, 5, 0.1);
    if (nper <= 0) c.invalidArgument();
    for (int step = 0; step < 20; ++step) {
        double f, slope;
        if (rate == 0) {
            f = pv + pmt * nper + fv;
            slope = pv * nper + pmt * (type * nper + nper * (nper - 1) / 2);
        } else {
            const double growth = std::pow(1 + rate, nper);
            const double growthSlope = nper * std::pow(1 + rate, nper - 1);
            const double annuity = (1 + rate * type) * (growth - 1) / rate;
            const double annuitySlope = type * (growth - 1) / rate + (1 + rate * type) *
                                                                         (growthSlope * rate - (growth - 1)) /
                                                                         (rate * rate);
            f = pv * growth + pmt * annuity + fv;
            slope = pv * growthSlope + pmt * annuitySlope;
        }
        if (slope == 0 || !std::isfinite(f) || !std::isfinite(slope)) break;
        const double next = rate - f / slope;
        if (!(next > -1)) break;
        if (std::fabs(next - rate) < 1e-7) return answer(c, next);
        rate = next;
    }
    c.invalidArgument();
}

// DDB(cost, salvage, life, period [, factor]): declining balance depreciation at factor / life of
// the remaining value a period (factor 2, double declining, by default), never below salvage.
void fnDDB(Call& c) {
    const double cost = c.real(0);
    const double salvage = c.real(1);
    const double life = c.real(2);
    const double period = c.real(3);
    const double factor = optional(c, 4, 2);
    if (cost < 0 || salvage < 0 || life <= 0 || period <= 0 || period > life || factor <= 0)
        c.invalidArgument();
    double rate = factor / life;
    double before;
    if (rate >= 1) {
        rate = 1;
        before = period == 1 ? cost : 0;
    } else {
        before = cost * std::pow(1 - rate, period - 1);
    }
    const double after = cost * std::pow(1 - rate, period);
    const double depreciation = after < salvage ? before - salvage : before - after;
    answer(c, depreciation < 0 ? 0 : depreciation);
}

// SLN(cost, salvage, life): straight line, the same each period.
void fnSLN(Call& c) {
    const double life = c.real(2);
    if (life == 0) c.invalidArgument();
    answer(c, (c.real(0) - c.real(1)) / life);
}

// SYD(cost, salvage, life, period): sum of the years' digits.
void fnSYD(Call& c) {
    const double cost = c.real(0);
    const double salvage = c.real(1);
    const double life = c.real(2);
    const double period = c.real(3);
    if (life <= 0 || period <= 0 || period > life) c.invalidArgument();
    answer(c, (cost - salvage) * (life - period + 1) * 2 / (life * (life + 1)));
}

const Definition kFinancialFunctions[] = {
    {"pmt", 3, 5, fnPmt, "Pmt", Result::Number, kPure},
    {"ipmt", 4, 6, fnIPmt, "IPmt", Result::Number, kPure},
    {"ppmt", 4, 6, fnPPmt, "PPmt", Result::Number, kPure},
    {"fv", 3, 5, fnFV, "FV", Result::Number, kPure},
    {"pv", 3, 5, fnPV, "PV", Result::Number, kPure},
    {"nper", 3, 5, fnNPer, "NPer", Result::Number, kPure},
    {"rate", 3, 6, fnRate, "Rate", Result::Number, kPure},
    {"ddb", 4, 5, fnDDB, "DDB", Result::Number, kPure},
    {"sln", 3, 3, fnSLN, "SLN", Result::Number, kPure},
    {"syd", 4, 4, fnSYD, "SYD", Result::Number, kPure},
};

} // namespace

std::span<const Definition> financialFunctions() {
    return kFinancialFunctions;
}

} // namespace engine::functions
