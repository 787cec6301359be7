program define something_else
end
