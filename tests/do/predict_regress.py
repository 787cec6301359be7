# Reference values for predict_regress.do, computed in exact rational
# arithmetic (fractions) from the normal equations; square roots to 30
# digits with decimal.  Run: python3 predict_regress.py
from fractions import Fraction as F
from decimal import Decimal, getcontext

getcontext().prec = 30
x1 = [1, 2, 3, 4, 5, 6]
x2 = [1, 3, 2, 5, 4, 7]
y = [3, 5, 4, 8, 9, 12]
X = [[F(a), F(b), F(1)] for a, b in zip(x1, x2)]
n, k = len(X), 3


def inv(m):
    # Gauss-Jordan on rationals.
    p = len(m)
    a = [row[:] + [F(int(i == j)) for j in range(p)] for i, row in enumerate(m)]
    for c in range(p):
        r = next(i for i in range(c, p) if a[i][c] != 0)
        a[c], a[r] = a[r], a[c]
        piv = a[c][c]
        a[c] = [v / piv for v in a[c]]
        for i in range(p):
            if i != c and a[i][c] != 0:
                f = a[i][c]
                a[i] = [v - f * w for v, w in zip(a[i], a[c])]
    return [row[p:] for row in a]


XtX = [[sum(X[o][i] * X[o][j] for o in range(n)) for j in range(k)] for i in range(k)]
A = inv(XtX)
Xty = [sum(X[o][i] * y[o] for o in range(n)) for i in range(k)]
b = [sum(A[i][j] * Xty[j] for j in range(k)) for i in range(k)]


def quad(x, m):
    return sum(x[i] * m[i][j] * x[j] for i in range(k) for j in range(k))


def sqrt(q):
    return Decimal(q.numerator).sqrt() / Decimal(q.denominator).sqrt()


def dec(q):
    return Decimal(q.numerator) / Decimal(q.denominator)


fit = [sum(b[i] * x[i] for i in range(k)) for x in X]
e = [F(yy) - f for yy, f in zip(y, fit)]
rss = sum(v * v for v in e)
s2 = rss / (n - k)
print("b =", [str(v) for v in b], "rss =", rss, "s2 =", s2)
rows = []
for o in range(n):
    h = quad(X[o], A)
    stdp2 = s2 * h
    cook = e[o] ** 2 * h / (k * s2 * (1 - h) ** 2)
    rsta = dec(e[o]) / sqrt(s2 * (1 - h))
    s2i = ((n - k) * s2 - e[o] ** 2 / (1 - h)) / (n - k - 1)
    rstu = dec(e[o]) / sqrt(s2i * (1 - h))
    print(o + 1, "xb", float(fit[o]), "e", float(e[o]), "h", h, float(h), "stdp", sqrt(stdp2), "stdf",
          sqrt(stdp2 + s2), "stdr", sqrt(s2 - stdp2), "cooksd", float(cook), "rstandard", rsta,
          "rstudent", rstu)
# The out-of-sample observation 7: x1 = 7, x2 = 6.
x7 = [F(7), F(6), F(1)]
print(7, "xb", float(sum(b[i] * x7[i] for i in range(k))), "stdp", sqrt(s2 * quad(x7, A)), "stdf",
      sqrt(s2 * quad(x7, A) + s2))
