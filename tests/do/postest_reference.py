#!/usr/bin/env python3
"""Reference values for postest.do, computed independently of the system.

The least-squares fit of y on x1 x2 and a constant is solved in exact
rational arithmetic; the Wald statistics of the hypotheses the do-file
tests are W = (Rb - r)' (R V R')^-1 (Rb - r), also exact, and only the
tail probabilities use floating point (scipy is not needed: the F tail
with one or two numerator degrees of freedom has a closed form).
Run: python3 postest_reference.py
"""
from fractions import Fraction as Fr
import math

x1 = [1, 2, 3, 4, 5, 6, 7, 8]
x2 = [3, 1, 4, 1, 5, 9, 2, 6]
y = [1, 3, 2, 5, 4, 6, 8, 7]
n = len(y)
X = [[Fr(a), Fr(b), Fr(1)] for a, b in zip(x1, x2)]
k = 3


def inverse(a):
    m = len(a)
    w = [row[:] + [Fr(int(i == j)) for j in range(m)] for i, row in enumerate(a)]
    for c in range(m):
        p = next(r for r in range(c, m) if w[r][c] != 0)
        w[c], w[p] = w[p], w[c]
        d = w[c][c]
        w[c] = [v / d for v in w[c]]
        for r in range(m):
            if r != c and w[r][c] != 0:
                f = w[r][c]
                w[r] = [vr - f * vc for vr, vc in zip(w[r], w[c])]
    return [row[m:] for row in w]


XtX = [[sum(X[i][a] * X[i][b] for i in range(n)) for b in range(k)] for a in range(k)]
Xty = [sum(X[i][a] * y[i] for i in range(n)) for a in range(k)]
A = inverse(XtX)
b = [sum(A[a][c] * Xty[c] for c in range(k)) for a in range(k)]
res = [y[i] - sum(X[i][a] * b[a] for a in range(k)) for i in range(n)]
rss = sum(r * r for r in res)
df_r = n - k
s2 = rss / df_r
V = [[s2 * A[a][c] for c in range(k)] for a in range(k)]


def wald(R, r):
    q = len(R)
    d = [sum(R[i][j] * b[j] for j in range(k)) - r[i] for i in range(q)]
    M = [[sum(R[i][a] * V[a][c] * R[j][c] for a in range(k) for c in range(k)) for j in range(q)] for i in range(q)]
    Mi = inverse(M)
    return sum(d[i] * Mi[i][j] * d[j] for i in range(q) for j in range(q))


def Ftail(q, df, F):
    # Regularized incomplete beta by its continued fraction (no library).
    x = df / (df + q * F)
    a, bb = df / 2, q / 2
    return betainc(a, bb, x)


def betainc(a, b, x):
    if x <= 0:
        return 0.0
    if x >= 1:
        return 1.0
    lbeta = math.lgamma(a + b) - math.lgamma(a) - math.lgamma(b) + a * math.log(x) + b * math.log(1 - x)
    if x > (a + 1) / (a + b + 2):
        return 1 - betainc(b, a, 1 - x)
    # Lentz's continued fraction.
    f, c, d = 1.0, 1.0, 0.0
    for i in range(0, 400):
        m = i // 2
        if i == 0:
            num = 1.0
        elif i % 2 == 0:
            num = m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m))
        else:
            num = -((a + m) * (a + b + m) * x) / ((a + 2 * m) * (a + 2 * m + 1))
        d = 1 + num * d
        d = 1 / d if d != 0 else 1e300
        c = 1 + num / c
        f *= c * d
        if abs(c * d - 1) < 1e-16:
            break
    return math.exp(lbeta) * (f - 1) / a


def chi2tail(q, w):
    # q = 1 or 2 only: closed forms.
    if q == 2:
        return math.exp(-w / 2)
    return math.erfc(math.sqrt(w / 2))


print("b =", [float(v) for v in b])
print("V =", [[float(v) for v in row] for row in V])
print("rss =", float(rss), "df_r =", df_r)
cases = {
    "x1": ([[1, 0, 0]], [0]),
    "x1 x2": ([[1, 0, 0], [0, 1, 0]], [0, 0]),
    "x1 = x2": ([[1, -1, 0]], [0]),
    "2*x1 + x2 = 1": ([[2, 1, 0]], [1]),
    "_cons = 0": ([[0, 0, 1]], [0]),
}
for name, (R, r) in cases.items():
    W = wald([[Fr(v) for v in row] for row in R], [Fr(v) for v in r])
    q = len(R)
    F = W / q
    print(f"{name}: W = {float(W)!r}  F = {float(F)!r}  F(%8.2f) = {float(F):8.2f}  "
          f"p = {Ftail(q, df_r, float(F)):.6f}  chi2 p = {chi2tail(q, float(W)):.6f}")
lc = [1, -1, 0]
est = sum(lc[j] * b[j] for j in range(k))
var = sum(lc[a] * V[a][c] * lc[c] for a in range(k) for c in range(k))
print("lincom x1 - x2:", float(est), math.sqrt(var))

# The fit on observations 2 to 8 that postest.do stores as "first".
X7, y7 = X[1:], y[1:]
XtX7 = [[sum(r[a] * r[c] for r in X7) for c in range(k)] for a in range(k)]
A7 = inverse(XtX7)
b7 = [sum(A7[a][c] * sum(X7[i][c] * y7[i] for i in range(7)) for c in range(k)) for a in range(k)]
rss7 = sum((y7[i] - sum(X7[i][a] * b7[a] for a in range(k))) ** 2 for i in range(7))
ybar = Fr(sum(y7), 7)
tss7 = sum((v - ybar) ** 2 for v in y7)
se7 = [math.sqrt(rss7 / 4 * A7[a][a]) for a in range(k)]
print("first: b =", [float(v) for v in b7], "se =", se7, "r2 =", float(1 - rss7 / tss7))
