// Screen images: pre-transformed quads with one texture.

texture tex;
bool blend = false;     // the image carries alpha
int alphaop = 1;        // 1 opaque, 2 alpha from the texture
bool depth = false;     // compare against the scene's depth
int filter = 2;         // 1 point, 2 linear

sampler pointSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

sampler linearSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct VertexIn
{
    float4 position : POSITION;
    float4 color : COLOR0;
    float2 uv : TEXCOORD0;
};

struct VertexOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
    float2 uv : TEXCOORD0;
};

VertexOut VS(VertexIn input)
{
    VertexOut output;
    output.position = input.position;
    output.color = input.color;
    output.uv = input.uv;
    return output;
}

float4 Sample(float2 uv)
{
    if (filter == 1)
        return tex2D(pointSampler, uv);
    return tex2D(linearSampler, uv);
}

float4 PS(VertexOut input) : COLOR
{
    float4 color = Sample(input.uv) * input.color;
    if (alphaop == 1 || !blend)
        color.a = input.color.a;
    return color;
}

float4 PSNoAlpha(VertexOut input) : COLOR
{
    return float4(Sample(input.uv).rgb, input.color.a);
}

technique image_basic
{
    pass p0
    {
        AlphaBlendEnable = false;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}

technique image_blended
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}

technique image_blended_nozwrite
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = true;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}

technique image_blended_noalpha
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PSNoAlpha();
    }
}
