#pragma once
/// The two LAPACK routines used here, declared with the Fortran calling convention: every
/// argument by reference, and one hidden length (by value, after the explicit arguments) for each
/// character argument.
#include <cstddef>

extern "C" {
/// Eigenvalues and, optionally, left and right eigenvectors of a general real matrix.
void dgeev_(const char* jobvl,
            const char* jobvr,
            const int* n,
            double* a,
            const int* lda,
            double* wr,
            double* wi,
            double* vl,
            const int* ldvl,
            double* vr,
            const int* ldvr,
            double* work,
            const int* lwork,
            int* info,
            std::size_t jobvl_length,
            std::size_t jobvr_length);
/// Solution of A X = B by LU factorisation with partial pivoting.
void dgesv_(const int* n,
            const int* nrhs,
            double* a,
            const int* lda,
            int* ipiv,
            double* b,
            const int* ldb,
            int* info);
}
