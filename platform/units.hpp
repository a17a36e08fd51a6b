#pragma once
/// The one unit system of the engine and the host: temperatures in K, pressures in Pa, amounts
/// in kmol, so molar energies are J/kmol and molar masses kg/kmol. Conversions happen only at the
/// edges (input files, the command line), through the constants below.
namespace units {

inline constexpr double kGasConstant = 8314.462618;            ///< R [J/(kmol K)]
inline constexpr double kZeroCelsius = 273.15;                 ///< 0 degC [K]
inline constexpr double kStandardAtmosphere = 101325.0;        ///< 1 atm [Pa]
inline constexpr double kBar = 1.0e5;                          ///< 1 bar [Pa]
inline constexpr double kKilopascal = 1.0e3;                   ///< 1 kPa [Pa]
inline constexpr double kMillimetreOfMercury = 133.322387415;  ///< 1 mmHg [Pa]
inline constexpr double kJoulePerMol = 1.0e3;                  ///< 1 J/mol [J/kmol]
inline constexpr double kCubicCentimetrePerMol = 1.0e-3;       ///< 1 cm3/mol [m3/kmol]
inline constexpr double kReferenceTemperature = 298.15;        ///< enthalpy reference [K]

}  // namespace units
