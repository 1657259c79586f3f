// The figures as a readable table and as one JSON object.
#include <cmath>
#include <string>
#include <string_view>

#include "companion/number_text.h"
#include "export/export_run.h"

namespace kv::exporter {

using companion::json_number;
using companion::json_string;
using companion::signed_percent;
using companion::significant;

namespace {

// (NFPA - window) / window; NaN when the window's value gives no comparison.
double relative_difference(double nfpa, double window) {
  if (!(std::isfinite(nfpa) && std::isfinite(window)) || window == 0.0) return std::nan("");
  return (nfpa - window) / window;
}

std::string value(double v) { return std::isfinite(v) ? significant(v, 7) : "-"; }
std::string text_or_dash(const std::string& s) { return s.empty() ? "-" : s; }

std::string row(const std::string& label, const std::string& window, const std::string& nfpa, const std::string& diff) {
  std::string r = "  " + label;
  r.resize(24, ' ');
  r += window;
  r.resize(r.size() < 40 ? 40 : r.size() + 1, ' ');
  r += nfpa;
  if (!diff.empty()) {
    r.resize(r.size() < 56 ? 56 : r.size() + 1, ' ');
    r += diff;
  }
  return r + "\n";
}

std::string json_text_or_null(const std::string& s) { return s.empty() ? "null" : json_string(s); }

// An uncertainty with two significant digits; "-" where there is none.
std::string uncertainty(double u) { return std::isfinite(u) ? significant(u, 2) : "-"; }

// The figures of both sets with their expanded uncertainties, then the budget of the NFPA
// 1125 set line by line, and what it leaves out.
std::string budget_text(const Figures& f) {
  const Budget& n = f.nfpa_budget;
  const Budget& w = f.window_budget;
  std::string s = "Uncertainty: figure +- U, the expanded uncertainty (k = 2, about 95 %)\n";
  const auto with_U = [](double value, double U, int digits) {
    return std::isfinite(value) ? significant(value, digits) + " +- " + uncertainty(U) : std::string("-");
  };
  const auto wide_row = [](const std::string& label, const std::string& window, const std::string& nfpa) {
    std::string r = "  " + label;
    r.resize(r.size() < 26 ? 26 : r.size() + 1, ' ');
    r += window;
    r.resize(r.size() < 50 ? 50 : r.size() + 1, ' ');
    return r + nfpa + "\n";
  };
  s += wide_row("", "window", "NFPA 1125");
  for (std::size_t k = 0; k < kFigures; ++k) {
    const bool exact_window = k == kBurnTime;  // the window's length is the user's, exact
    const std::string label = std::string(kFigureNames[k]) + " (" + kFigureUnits[k] + ")";
    s += wide_row(label, exact_window ? significant(w.value[k], 7) + " (set)" : with_U(w.value[k], w.U[k], 7),
                  with_U(n.value[k], n.U[k], 7));
  }
  if (!f.nfpa.designation.empty())
    s += "  " + f.nfpa.designation + ": class " + f.nfpa.designation.substr(0, f.nfpa.designation.find_last_not_of("0123456789") + 1) +
         " with a probability of " + companion::percent(n.class_probability, 3) + ", the number with " +
         companion::percent(n.number_probability, 3) + "\n";
  s += "\nBudget of the NFPA 1125 figures: standard uncertainties (u)\n";
  std::string head = "  source";
  head.resize(34, ' ');
  const char* short_names[kFigures] = {"It N s", "tb s", "avg N", "peak N", "Is s", "ve m/s"};
  for (const char* h : short_names) {
    std::string c = h;
    c.resize(10, ' ');
    head += c;
  }
  while (!head.empty() && head.back() == ' ') head.pop_back();
  s += head + "\n";
  const auto line = [&](const std::string& source, const double* u) {
    std::string l = "  " + source;
    l.resize(l.size() < 34 ? 34 : l.size() + 1, ' ');
    for (std::size_t k = 0; k < kFigures; ++k) {
      std::string c = u[k] > 0.0 ? uncertainty(u[k]) : std::string("0");
      c.resize(c.size() < 10 ? 10 : c.size() + 1, ' ');
      l += c;
    }
    while (!l.empty() && l.back() == ' ') l.pop_back();
    return l + "\n";
  };
  for (const BudgetTerm& t : n.terms) s += line(t.source, t.u);
  s += line("combined u", n.u);
  s += "  models:\n";
  for (const BudgetTerm& t : n.terms)
    s += "    " + t.source + ": " + t.model + (t.from.empty() ? "" : " (" + t.from + ")") + "\n";
  if (!n.left_out.empty()) {
    s += "  not in U (give what each names to add it):\n";
    for (const std::string& l : n.left_out) s += "    " + l + "\n";
  }
  return s;
}

std::string json_figures_u(const Budget& b, bool window) {
  const char* keys[kFigures] = {"total_impulse_Ns", "burn_time_s", window ? "mean_thrust_N" : "average_thrust_N",
                                "peak_thrust_N", "specific_impulse_s", "exhaust_velocity_m_s"};
  // The window's burn time is the user's, exact: its u and U are 0.
  const auto object = [&](const double* v, bool uncertainty) {
    std::string s = "{";
    for (std::size_t k = 0; k < kFigures; ++k) {
      const double x = uncertainty && window && k == kBurnTime ? 0.0 : v[k];
      s += std::string(k ? ", " : "") + "\"" + keys[k] + "\": " + json_number(x);
    }
    return s + "}";
  };
  return "{\"value\": " + object(b.value, false) + ", \"u\": " + object(b.u, true) + ", \"U\": " + object(b.U, true) +
         "}";
}

std::string budget_json(const Figures& f) {
  const Budget& n = f.nfpa_budget;
  std::string s = "  \"uncertainty\": {\n";
  s += "    \"coverage_factor\": 2,\n";
  s += "    \"nfpa\": " + json_figures_u(n, false) + ",\n";
  s += "    \"window\": " + json_figures_u(f.window_budget, true) + ",\n";
  // Probabilities to six decimals: the error function of one system's library may differ
  // from another's in the last bits.
  const auto probability = [](double p) { return json_number(std::round(p * 1e6) / 1e6); };
  s += "    \"class_probability\": " + probability(n.class_probability) + ",\n";
  s += "    \"number_probability\": " + probability(n.number_probability) + ",\n";
  s += "    \"budget_figures\": [";
  for (std::size_t k = 0; k < kFigures; ++k) s += std::string(k ? ", " : "") + json_string(kFigureNames[k]);
  s += "],\n    \"budget\": [";
  for (std::size_t i = 0; i < n.terms.size(); ++i) {
    const BudgetTerm& t = n.terms[i];
    s += std::string(i ? "," : "") + "\n      {\"source\": " + json_string(t.source) + ", \"model\": " +
         json_string(t.model) + ", \"from\": " + json_string(t.from) + ", \"u\": [";
    for (std::size_t k = 0; k < kFigures; ++k) s += std::string(k ? ", " : "") + json_number(t.u[k]);
    s += "]}";
  }
  s += "\n    ],\n    \"left_out\": [";
  for (std::size_t i = 0; i < n.left_out.size(); ++i) s += std::string(i ? ", " : "") + json_string(n.left_out[i]);
  s += "]\n  },\n";
  return s;
}

}  // namespace

std::string figures_table(const Figures& f) {
  const NfpaFigures& n = f.nfpa;
  const WindowFigures& w = f.window;
  std::string s;
  s += "Case " + f.caso + ": " + f.title + "\n\n";
  s += row("", "window", "NFPA 1125", "NFPA vs window");
  s += row("total impulse (N s)", value(w.total_impulse), value(n.total_impulse),
           signed_percent(relative_difference(n.total_impulse, w.total_impulse)));
  s += row("burn time (s)", value(w.burn_time), value(n.burn_time),
           signed_percent(relative_difference(n.burn_time, w.burn_time)));
  s += row("average thrust (N)", value(w.mean_thrust), value(n.average),
           signed_percent(relative_difference(n.average, w.mean_thrust)));
  s += row("total / burn time (N)", "", value(n.total_average()), "");
  s += row("peak thrust (N)", "", value(n.peak), "");
  s += row("designation", text_or_dash(w.designation), text_or_dash(n.designation), "");
  s += "\n";
  s += "  curve:     " + f.curve_source + "\n";
  s += "  window:    burn time = the case's window, tf - ti = " + significant(f.tf, 7) + " s - " + significant(f.ti, 7) +
       " s;\n             average = total impulse / burn time\n";
  if (std::isfinite(n.burn_time)) {
    s += "  NFPA 1125: burn time from " + significant(f.curve_t0 + n.burn_start, 6) + " s to " +
         significant(f.curve_t0 + n.burn_end, 6) +
         " s after ti,\n             the first and last crossings of 5 % of the peak (" + significant(n.threshold, 6) +
         " N);\n             total impulse from the 5 % rise to the last measurable thrust;\n"
         "             average = impulse between the crossings (" +
         significant(n.burn_impulse, 7) +
         " N s) / burn time, as OpenRocket\n             computes it; ThrustCurve divides the total impulse by the "
         "burn time\n";
  } else {
    s += "  NFPA 1125: the curve has no positive thrust, hence no burn\n";
  }
  const auto reader_line = [&](const char* who, const ReaderFigures& r, double average) {
    return std::string("  as ") + who + " reads it: total impulse " + significant(r.total_impulse, 7) + " N s (" +
           signed_percent(relative_difference(r.total_impulse, n.total_impulse)) + "), burn time " +
           significant(r.burn_time, 6) + " s (" + signed_percent(relative_difference(r.burn_time, n.burn_time)) +
           "),\n    average " + significant(r.average, 6) + " N (" +
           signed_percent(relative_difference(r.average, average)) + "), peak " + significant(r.peak, 7) + " N\n";
  };
  if (f.has_eng || f.has_rse) {
    s += "\n";
    if (f.has_eng) s += "RASP engine file " + f.eng_shown + "\n  " + f.eng_header + "\n";
    if (f.has_rse) s += "RockSim engine file " + f.rse_shown + (f.has_eng ? " (the same points)" : "") + "\n";
    s += "  " + std::to_string(f.eng.points) + " points; its time 0 is " + significant(f.eng_origin, 6) +
         " s after ti, burn-out at " + significant(f.eng.burn_time, 6) + " s\n";
    s += reader_line("ThrustCurve", f.eng.thrustcurve, n.total_average());
    s += reader_line("OpenRocket", f.eng.openrocket, n.average);
  }
  if (!f.csv_path.empty())
    s += "\nCSV curve " + f.csv_shown + " (the curve table's " + std::to_string(f.csv_points) + " points)\n";
  if (f.has_budget) s += "\n" + budget_text(f);
  return s;
}

std::string figures_json(const Figures& f) {
  const NfpaFigures& n = f.nfpa;
  const WindowFigures& w = f.window;
  std::string s = "{\n";
  s += "  \"case\": " + json_string(f.caso) + ",\n";
  s += "  \"title\": " + json_string(f.title) + ",\n";
  s += "  \"nfpa\": {\n";
  s += "    \"total_impulse_Ns\": " + json_number(n.total_impulse) + ",\n";
  s += "    \"peak_thrust_N\": " + json_number(n.peak) + ",\n";
  s += "    \"burn_time_s\": " + json_number(n.burn_time) + ",\n";
  s += "    \"average_thrust_N\": " + json_number(n.average) + ",\n";
  s += "    \"designation\": " + json_text_or_null(n.designation) + ",\n";
  s += "    \"threshold_N\": " + json_number(n.threshold) + ",\n";
  s += "    \"burn_start_s\": " + json_number(f.curve_t0 + n.burn_start) + ",\n";
  s += "    \"burn_end_s\": " + json_number(f.curve_t0 + n.burn_end) + ",\n";
  s += "    \"burn_impulse_Ns\": " + json_number(n.burn_impulse) + ",\n";
  s += "    \"total_average_thrust_N\": " + json_number(n.total_average()) + "\n";
  s += "  },\n";
  s += "  \"window\": {\n";
  s += "    \"total_impulse_Ns\": " + json_number(w.total_impulse) + ",\n";
  s += "    \"burn_time_s\": " + json_number(w.burn_time) + ",\n";
  s += "    \"mean_thrust_N\": " + json_number(w.mean_thrust) + ",\n";
  s += "    \"designation\": " + json_text_or_null(w.designation) + ",\n";
  s += "    \"ti_s\": " + json_number(f.ti) + ",\n";
  s += "    \"tf_s\": " + json_number(f.tf) + "\n";
  s += "  },\n";
  s += "  \"relative_difference\": {\n";
  s += "    \"total_impulse\": " + json_number(relative_difference(n.total_impulse, w.total_impulse)) + ",\n";
  s += "    \"burn_time\": " + json_number(relative_difference(n.burn_time, w.burn_time)) + ",\n";
  s += "    \"average_thrust\": " + json_number(relative_difference(n.average, w.mean_thrust)) + "\n";
  s += "  },\n";
  const auto reader = [](const ReaderFigures& r) {
    return "{\"total_impulse_Ns\": " + json_number(r.total_impulse) + ", \"burn_time_s\": " + json_number(r.burn_time) +
           ", \"average_thrust_N\": " + json_number(r.average) + ", \"peak_thrust_N\": " + json_number(r.peak) + "}";
  };
  if (f.has_eng || f.has_rse) {
    s += "  \"eng\": {\n";
    s += "    \"file\": " + (f.has_eng ? json_string(f.eng_shown) : std::string("null")) + ",\n";
    s += "    \"rse_file\": " + (f.has_rse ? json_string(f.rse_shown) : std::string("null")) + ",\n";
    s += "    \"points\": " + std::to_string(f.eng.points) + ",\n";
    s += "    \"total_impulse_Ns\": " + json_number(f.eng.total_impulse) + ",\n";
    s += "    \"peak_thrust_N\": " + json_number(f.eng.peak) + ",\n";
    s += "    \"burn_time_s\": " + json_number(f.eng.burn_time) + ",\n";
    s += "    \"origin_s\": " + json_number(f.eng_origin) + ",\n";
    s += "    \"thrustcurve\": " + reader(f.eng.thrustcurve) + ",\n";
    s += "    \"openrocket\": " + reader(f.eng.openrocket) + "\n";
    s += "  },\n";
  } else {
    s += "  \"eng\": null,\n";
  }
  s += "  \"curve\": {\"whole_firing\": " + std::string(f.curve_source.starts_with("the whole") ? "true" : "false") +
       ", \"t0_s\": " + json_number(f.curve_t0) + ", \"points\": " + std::to_string(f.curve_points) +
       ", \"source\": " + json_string(f.curve_source) + "},\n";
  if (f.has_budget) s += budget_json(f);
  s += "  \"curve_points\": " + std::to_string(f.curve_points) + "\n";
  s += "}\n";
  return s;
}

}  // namespace kv::exporter
