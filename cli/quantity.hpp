#pragma once
/// Numbers with units on the command line, converted to the engine's units (K, Pa, J/kmol).
/// Each parser throws InputError with a one-line message naming what was wrong.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

/// Bad input from the user: the message is printed as one line, and the program fails.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A pressure [Pa]: a positive number with an optional unit Pa (the default), kPa, MPa, bar,
/// atm or mmHg (any case, blanks allowed before the unit): "101325", "1 atm", "760mmHg".
double parse_pressure(std::string_view text);
/// A temperature [K]: a number with an optional unit K (the default), C or degC; above 0 K.
double parse_temperature(std::string_view text);
/// A molar enthalpy [J/kmol]: a number with an optional unit J/kmol (the default), kJ/kmol,
/// J/mol or kJ/mol.
double parse_enthalpy(std::string_view text);
/// Mole fractions "0.5,0.5": finite, not negative, not all zero. They need not sum to 1 (the
/// host normalises), so "1,1" is an equimolar mixture.
std::vector<double> parse_mole_fractions(std::string_view text);
/// A comma-separated list of words, blanks around each removed; empty entries are refused.
std::vector<std::string> split_list(std::string_view text, std::string_view what);

}  // namespace cli
