// The compiled parts of Boost.Asio and Boost.Beast, built once for the whole tree instead of in
// every unit that includes them. xqt_core defines BOOST_ASIO_SEPARATE_COMPILATION and
// BOOST_BEAST_SEPARATE_COMPILATION publicly, so every target that links it declares these
// functions and finds their one definition here.
#include <boost/asio/impl/src.hpp>
#include <boost/beast/src.hpp>
